#include "midi/Clock.h"

namespace midi
{
    namespace
    {
        class SystemClock final : public Clock
        {
        public:
            double now() override { return juce::Time::getMillisecondCounterHiRes(); }

            void sleep (int milliseconds) override { juce::Thread::sleep (milliseconds); }

            bool sleepUnlessExit (int milliseconds, juce::Thread& thread) override
            {
                const double end = now() + milliseconds;

                // stopThread() signals the thread's own event, which ends the wait at once.
                while (! thread.threadShouldExit())
                {
                    const double left = end - now();

                    if (left <= 0)
                        return true;

                    thread.wait (juce::jmax (1, (int)std::ceil (left)));
                }

                return false;
            }
        };
    }

    Clock& Clock::system()
    {
        static SystemClock clock;
        return clock;
    }
}
