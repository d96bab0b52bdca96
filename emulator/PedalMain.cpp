// flashwell-pedal: an emulated Bramblet pedal on this computer's own MIDI ports (the ALSA
// sequencer on Linux, CoreMIDI on macOS), so that the real flashwell, or any MIDI tool, can
// update it as it would a pedal plugged in by USB. The pedal itself is the one the tests use,
// emulator::PedalEmulator, on a virtual bus; a PedalBridge shows its port to the computer and
// makes it vanish and come back under the new name when the pedal restarts. Between the two
// sits the pedal's InputBuffer, so that the pace of an update is judged as the pedal's flash
// would see it, not by when this program's input thread got the processor.
// `flashwell-pedal --help` tells its options; emulator/README.md tells how to use it.

#include "emulator/InputBuffer.h"
#include "emulator/JuceDevicePorts.h"
#include "emulator/PedalBridge.h"
#include "emulator/PedalOptions.h"
#include "emulator/PedalReport.h"
#include "virtualmidi/RealTimeScheduler.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace
{
    using emulator::PedalEmulator;

    // Set by the signal handler, read by the message thread's timer.
    std::atomic<int> stopSignal { 0 };
    static_assert (std::atomic<int>::is_always_lock_free);

    extern "C" void onStopSignal (int signal) { stopSignal = signal; }

    const double startedAt = juce::Time::getMillisecondCounterHiRes();

    /** A line of progress, with the seconds since the start, for whoever watches. */
    void say (const juce::String& line)
    {
        const auto seconds = (juce::Time::getMillisecondCounterHiRes() - startedAt) / 1000.0;
        std::printf ("flashwell-pedal [%.3f s]: %s\n", seconds, line.toRawUTF8());
        std::fflush (stdout);
    }

    void complain (const juce::String& line)
    {
        std::fprintf (stderr, "flashwell-pedal: %s\n", line.toRawUTF8());
        std::fflush (stderr);
    }

    /** A JUCE application without windows: its message loop runs the timer that keeps the
        ports in line with the pedal and watches for the end. */
    class PedalApplication final : public juce::JUCEApplication,
                                   private juce::Timer
    {
    public:
        const juce::String getApplicationName() override { return "flashwell-pedal"; }
        const juce::String getApplicationVersion() override { return JUCE_APPLICATION_VERSION_STRING; }
        bool moreThanOneInstanceAllowed() override { return true; }
        void anotherInstanceStarted (const juce::String&) override {}

        void initialise (const juce::String&) override
        {
            juce::String error;

            if (! emulator::PedalOptions::parse (getCommandLineParameterArray(), options, error))
            {
                complain (error + " (flashwell-pedal --help tells the options)");
                return fail (2);
            }

            if (options.help)
            {
                std::printf ("%s", emulator::PedalOptions::usage().toRawUTF8());
                quit();
                return;
            }

            if (const auto why = emulator::JuceDevicePorts::whyUnavailable(); why.isNotEmpty())
            {
                complain ("cannot make MIDI ports: " + why);
                return fail (1);
            }

            // After JUCE's own handler for Ctrl-C: both end the pedal with its report.
            std::signal (SIGTERM, onStopSignal);
            std::signal (SIGINT, onStopSignal);

            started = juce::Time::getMillisecondCounterHiRes();
            report.fault = options.fault;

            if (options.present)
                pedal = std::make_unique<PedalEmulator> (bus, scheduler, options.config);
            else
                say ("no pedal plugged in (fault \"absent\"): no ports");

            if (options.inputBuffer > 0)
            {
                buffer = std::make_unique<emulator::InputBuffer> (bus, scheduler, options.inputBuffer, options.config);
                bridge = std::make_unique<emulator::PedalBridge> (*buffer, ports);
            }
            else
            {
                bridge = std::make_unique<emulator::PedalBridge> (bus, ports);
            }

            timerCallback();
            startTimer (10);
        }

        void shutdown() override
        {
            stopTimer();

            // The ports go before the pedal and the bus behind them.
            bridge = nullptr;

            if (started > 0)
                writeReport();

            pedal = nullptr;
        }

        void systemRequestedQuit() override { end ("quit"); }

    private:
        void fail (int exitCode)
        {
            setApplicationReturnValue (exitCode);
            quit();
        }

        void end (const juce::String& why)
        {
            if (report.endedBy.isEmpty())
                report.endedBy = why;

            stopTimer();
            quit();
        }

        double secondsSince (double t) const { return (juce::Time::getMillisecondCounterHiRes() - t) / 1000.0; }

        void timerCallback() override
        {
            if (const int s = stopSignal; s != 0)
                return end (s == SIGTERM ? "SIGTERM" : "SIGINT");

            for (const auto& change : bridge->sync())
            {
                if (change.kind == emulator::PedalBridge::Change::up)
                {
                    say ("ports up: " + change.name);
                    report.portsShown.add (change.name);
                }
                else if (change.kind == emulator::PedalBridge::Change::down)
                {
                    say ("ports down: " + change.name);
                }
                else
                {
                    complain ("could not make the MIDI ports \"" + change.name + "\"");
                    setApplicationReturnValue (1);
                    return end ("no-ports");
                }
            }

            followPhase();

            if (options.exitAfterRestart >= 0 && restartedAt > 0 && secondsSince (restartedAt) >= options.exitAfterRestart)
                return end ("exit-after-restart");

            if (options.timeout >= 0 && secondsSince (started) >= options.timeout)
                return end ("timeout");
        }

        void followPhase()
        {
            if (pedal == nullptr)
                return;

            const auto phase = pedal->phase();

            if (phase == lastPhase)
                return;

            lastPhase = phase;

            if (phase == PedalEmulator::Phase::updating)
                say ("update begun");

            if ((phase == PedalEmulator::Phase::restarting || phase == PedalEmulator::Phase::running) && restartedAt == 0)
            {
                restartedAt = juce::Time::getMillisecondCounterHiRes();
                say ("update ended (" + emulator::PedalReport::verdictOf (pedal->verdict(), true) + "): restarting");
            }
        }

        void writeReport()
        {
            auto r = report;

            if (pedal != nullptr)
            {
                r = emulator::PedalReport::of (*pedal, options.config);
                r.fault = report.fault;
                r.portsShown = report.portsShown;
                r.endedBy = report.endedBy;

                if (buffer != nullptr)
                {
                    r.countArrivals (buffer->arrivals(), options.config.modelId);
                    r.inputBuffer = options.inputBuffer;
                    r.lostMessages = buffer->lost();
                    r.bufferPeak = buffer->peak();
                }

                if (options.stream != juce::File())
                {
                    const auto stream = pedal->streamBytes();

                    if (! options.stream.replaceWithData (stream.getRawDataPointer(), (size_t)stream.size()))
                        complain ("cannot write the stream to " + options.stream.getFullPathName());
                }
            }

            if (r.endedBy.isEmpty())
                r.endedBy = "quit";

            if (options.report == juce::File())
                std::printf ("%s", r.toText().toRawUTF8());
            else if (! options.report.replaceWithText (r.toText(), false, false, "\n"))
                complain ("cannot write the report to " + options.report.getFullPathName());

            say ("ended (" + r.endedBy + "): " + r.verdict + ", " + juce::String (r.messages) + " messages received");
        }

        emulator::PedalOptions options;
        emulator::PedalReport report; // what the pedal cannot tell: its fault, its ports, the end
        double started = 0, restartedAt = 0;
        PedalEmulator::Phase lastPhase = PedalEmulator::Phase::boot;

        // Built in this order, gone in the reverse: the bridge first, the bus last.
        virtualmidi::VirtualMidiBus bus;
        virtualmidi::RealTimeScheduler scheduler;
        std::unique_ptr<PedalEmulator> pedal;
        std::unique_ptr<emulator::InputBuffer> buffer;
        emulator::JuceDevicePorts ports;
        std::unique_ptr<emulator::PedalBridge> bridge;
    };
}

START_JUCE_APPLICATION (PedalApplication)
