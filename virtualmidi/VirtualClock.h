#pragma once

#include "midi/Clock.h"
#include "virtualmidi/Scheduler.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace virtualmidi
{
    /** Virtual time for the link and the transfer: a sleep returns at once, having run every
        event due within it in time order, so a 42-second update takes milliseconds and each
        wait lands on an exact virtual millisecond. Every sleep is recorded, so a test can
        assert the waits as a timeline. Safe to use from several threads; events run outside
        the clock's lock, on the thread that sleeps or advances. */
    class VirtualClock final : public midi::Clock,
                               public Scheduler
    {
    public:
        /** One sleep as it happened. */
        struct Sleep
        {
            double start;        // virtual time at which it began
            int length;          // milliseconds asked for
            juce::String thread; // the JUCE thread's name, "message thread", or empty
        };

        /** Now 0. */
        VirtualClock() = default;

        double now() override;

        /** Runs the events due up to now + ms; time then stands at now + ms. */
        void sleep (int milliseconds) override;

        /** False at once, with no time passing, when `thread` has been asked to exit;
            otherwise sleeps and tells whether the thread may go on. */
        bool sleepUnlessExit (int milliseconds, juce::Thread& thread) override;

        void schedule (double delayMs, std::function<void()> event) override;

        /** Moves time on like a sleep, without recording one. */
        void advance (double milliseconds);

        /** Called after each event and at the end of every sleep, outside the lock: a test
            sets it to its bus's waitUntilIdle(), so that what an event sent has been delivered
            before the sleeper looks. */
        void setSettle (std::function<void()> settle);

        std::vector<Sleep> timeline() const;

        /** The lengths of the recorded sleeps, in order. */
        std::vector<int> sleepLengths() const;

        /** How many events wait to run. */
        int pendingEvents() const;

    private:
        void runUntil (double target);
        static juce::String currentThreadName();

        mutable std::mutex lock;
        double current = 0;
        std::uint64_t nextSequence = 0;
        std::map<std::pair<double, std::uint64_t>, std::function<void()>> events;
        std::function<void()> settleHook;
        std::vector<Sleep> sleeps;
    };
}
