#pragma once

#include "emulator/PedalEmulator.h"

namespace emulator
{
    /** What the flashwell-pedal program is asked to do, read from its command line. */
    struct PedalOptions
    {
        juce::String fault = "healthy"; // a name that EmulatedPedalLink::configFromName knows
        PedalConfig config;
        bool present = true;          // false: the pedal stays unplugged ("absent")
        juce::File report, stream;    // where to write them at the end; none when empty
        double exitAfterRestart = -1; // seconds after the pedal went away to restart; < 0: never
        double timeout = -1;          // seconds after the start; < 0: never
        int inputBuffer = 32;         // messages the pedal's input buffer holds; 0: none
        bool help = false;

        /** Reads the arguments (without the program's name). False, with `error` saying
            what is wrong, when they do not make sense. Options take their value as the next
            argument or after an equals sign; a fault's own settings give way to timing options
            given with it, whatever their order. */
        static bool parse (const juce::StringArray& args, PedalOptions& options, juce::String& error);

        static juce::String usage();
    };
}
