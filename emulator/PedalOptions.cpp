#include "emulator/PedalOptions.h"

#include "emulator/EmulatedPedalLink.h"

#include <map>

namespace emulator
{
    namespace
    {
        const char* const faultNames = "healthy, absent, never-comes-back, silent-after-restart, wrong-revision, short-reply, noisy";

        bool toNumber (const juce::String& text, double& value)
        {
            const auto t = text.trim();

            if (t.isEmpty() || ! t.containsOnly ("0123456789.") || t.indexOfChar ('.') != t.lastIndexOfChar ('.') || t == ".")
                return false;

            value = t.getDoubleValue();
            return true;
        }
    }

    bool PedalOptions::parse (const juce::StringArray& args, PedalOptions& options, juce::String& error)
    {
        options = {};
        std::map<juce::String, juce::String> values;

        static const juce::StringArray valued { "--fault", "--name", "--name-after-restart", "--identify-delay-ms",
                                                "--revision-delay-ms", "--min-data-gap-ms", "--erase-time-ms",
                                                "--restart-ms", "--noise-interval-ms", "--report", "--stream",
                                                "--exit-after-restart", "--timeout", "--input-buffer" };

        for (int i = 0; i < args.size(); ++i)
        {
            auto option = args[i];
            juce::String value;
            bool hasValue = false;

            if (option == "--help" || option == "-h")
            {
                options.help = true;
                continue;
            }

            if (option.startsWith ("--") && option.containsChar ('='))
            {
                value = option.fromFirstOccurrenceOf ("=", false, false);
                option = option.upToFirstOccurrenceOf ("=", false, false);
                hasValue = true;
            }

            if (! valued.contains (option))
            {
                error = "unknown option \"" + args[i] + "\"";
                return false;
            }

            if (! hasValue)
            {
                if (i + 1 >= args.size())
                {
                    error = option + " needs a value";
                    return false;
                }

                value = args[++i];
            }

            values[option] = value;
        }

        if (values.count ("--fault") != 0)
            options.fault = values["--fault"];

        if (! EmulatedPedalLink::configFromName (options.fault, options.config, options.present))
        {
            error = "unknown fault \"" + options.fault + "\" (known: " + faultNames + ")";
            return false;
        }

        if (options.fault.isEmpty())
            options.fault = "healthy";

        auto& c = options.config;
        const std::pair<const char*, double*> numbers[] = {
            { "--identify-delay-ms", &c.identifyDelayMs },
            { "--revision-delay-ms", &c.revisionDelayMs },
            { "--min-data-gap-ms", &c.minDataGapMs },
            { "--erase-time-ms", &c.eraseTimeMs },
            { "--restart-ms", &c.restartMs },
            { "--noise-interval-ms", &c.faults.noiseIntervalMs },
            { "--exit-after-restart", &options.exitAfterRestart },
            { "--timeout", &options.timeout },
        };

        for (const auto& [name, target] : numbers)
        {
            if (values.count (name) == 0)
                continue;

            if (! toNumber (values[name], *target))
            {
                error = juce::String (name) + " needs a number of zero or more, not \"" + values[name] + "\"";
                return false;
            }
        }

        for (const auto& [name, target] : { std::make_pair ("--name", &c.bootName), std::make_pair ("--name-after-restart", &c.nameAfterRestart) })
        {
            if (values.count (name) == 0)
                continue;

            if (values[name].trim().isEmpty())
            {
                error = juce::String (name) + " needs a port name";
                return false;
            }

            *target = values[name];
        }

        if (values.count ("--input-buffer") != 0)
        {
            const auto text = values["--input-buffer"].trim();

            if (text.isEmpty() || ! text.containsOnly ("0123456789") || text.length() > 6)
            {
                error = "--input-buffer needs a whole number of messages, not \"" + values["--input-buffer"] + "\"";
                return false;
            }

            options.inputBuffer = text.getIntValue();
        }

        const auto cwd = juce::File::getCurrentWorkingDirectory();

        if (values.count ("--report") != 0)
            options.report = cwd.getChildFile (values["--report"]);

        if (values.count ("--stream") != 0)
            options.stream = cwd.getChildFile (values["--stream"]);

        return true;
    }

    juce::String PedalOptions::usage()
    {
        return juce::String (R"(flashwell-pedal: an emulated Bramblet pedal on this computer's MIDI ports, for trying
an update with flashwell without a pedal. It shows the port pair "Bramblet boot" (a pedal
in its boot mode), takes the update, restarts (its ports vanish and come back as
"Bramblet") and reports the new revision when the stream was complete and well paced.

Usage: flashwell-pedal [OPTIONS]
  --fault NAME               how the pedal behaves: )") +
               faultNames + R"(
  --name NAME                its port name in boot mode (default "Bramblet boot")
  --name-after-restart NAME  its port name once restarted (default "Bramblet")
  --identify-delay-ms MS     how late it answers the identify request (default 5)
  --revision-delay-ms MS     how late it answers the revision query (default 5)
  --min-data-gap-ms MS       the shortest gap between update messages it takes (default 30)
  --erase-time-ms MS         the gap it needs after the update begin (default 0)
  --restart-ms MS            how long its restart takes (default 1500)
  --noise-interval-ms MS     send noise this often during the update (default: "noisy" 7, else none)
  --input-buffer N           messages its input buffer holds (default 32): they reach the pedal
                             no faster than its flash takes them, and one that finds the
                             buffer full is lost; 0: none, every message counts as it is read
  --report FILE              write the report there at the end (default: standard output)
  --stream FILE              write the update stream it received there, byte for byte
  --exit-after-restart S     end S seconds after the update made it restart
  --timeout S                end S seconds after the start, whatever happened
  --help                     this text

It ends on SIGTERM or SIGINT (Ctrl-C) too, and always writes its report as it ends.
Exit codes: 0 ended normally, 1 no MIDI ports could be made, 2 wrong command line.
)";
    }
}
