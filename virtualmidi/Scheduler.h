#pragma once

#include <functional>

namespace virtualmidi
{
    /** Time as a stand-in device sees it: what time it is, and "do this later". */
    class Scheduler
    {
    public:
        virtual ~Scheduler() = default;

        /** Milliseconds since the scheduler started. */
        virtual double now() = 0;

        /** Runs `event` once `delayMs` have passed; events due at the same time run in the
            order they were scheduled. */
        virtual void schedule (double delayMs, std::function<void()> event) = 0;
    };
}
