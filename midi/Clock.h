#pragma once

#include <juce_core/juce_core.h>

namespace midi
{
    /** Every wait of the device link and of the transfer goes through a clock, so that the
        tests can run a 42-second update in virtual time. The program uses system(). */
    class Clock
    {
    public:
        virtual ~Clock() = default;

        /** Milliseconds from an arbitrary start; never goes back. */
        virtual double now() = 0;

        /** A plain sleep of the calling thread; nothing is pumped meanwhile. */
        virtual void sleep (int milliseconds) = 0;

        /** Sleeps like sleep(), but ends at once when `thread` is asked to exit (closing the
            window mid-update must not wait out a 2.5 s pause); false when it ended early. */
        virtual bool sleepUnlessExit (int milliseconds, juce::Thread& thread) = 0;

        /** The real clock. */
        static Clock& system();
    };
}
