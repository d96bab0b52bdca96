// flashwell-demo: the updater itself, with its MIDI link on an emulated pedal in real time,
// for trying an update without hardware. The shipped `flashwell` only ever uses the
// computer's MIDI ports.
//
//   FLASHWELL_DEMO_PEDAL   how the pedal behaves: healthy (default), absent, never-comes-back,
//                          silent-after-restart, wrong-revision, short-reply, noisy
//   FLASHWELL_DEMO_REPORT  a file to write what the pedal received, at the end
//   FLASHWELL_DEMO_STREAM  a file to write the update stream the pedal received, byte for byte
//   FLASHWELL_DEMO_SCREENSHOT  a PNG file to draw the main window into, as it stands at the end

#include "app/Application.h"
#include "emulator/EmulatedPedalLink.h"

#include <cstdio>

namespace
{
    juce::String setting (const char* name)
    {
        return juce::SystemStats::getEnvironmentVariable (name, {});
    }

    class DemoApplication final : public Application
    {
    public:
        void shutdown() override
        {
            if (pedalLink != nullptr && pedalLink->pedal() != nullptr)
                writeReport (*pedalLink->pedal());

            if (auto path = setting ("FLASHWELL_DEMO_SCREENSHOT"); path.isNotEmpty() && getMainWindow() != nullptr)
                saveSnapshot (*getMainWindow(), juce::File (path));

            Application::shutdown();
        }

    protected:
        std::unique_ptr<midi::MidiIf> createMidiLink() override
        {
            emulator::PedalConfig config;
            bool present = true;
            const auto behaviour = setting ("FLASHWELL_DEMO_PEDAL");

            if (! emulator::EmulatedPedalLink::configFromName (behaviour, config, present))
                std::fprintf (stderr, "flashwell-demo: unknown pedal behaviour \"%s\"; using a healthy pedal\n",
                              behaviour.toRawUTF8());

            auto link = std::make_unique<emulator::EmulatedPedalLink> (config, present);
            pedalLink = link.get();
            return link;
        }

    private:
        static void saveSnapshot (juce::Component& window, const juce::File& file)
        {
            const auto image = window.createComponentSnapshot (window.getLocalBounds());
            file.deleteFile();
            juce::FileOutputStream out (file);
            juce::PNGImageFormat().writeImageToStream (image, out);
        }

        static void writeReport (const emulator::PedalEmulator& pedal)
        {
            const auto stream = pedal.streamBytes();

            if (auto path = setting ("FLASHWELL_DEMO_STREAM"); path.isNotEmpty())
                juce::File (path).replaceWithData (stream.getRawDataPointer(), (size_t)stream.size());

            if (auto path = setting ("FLASHWELL_DEMO_REPORT"); path.isNotEmpty())
            {
                const auto verdict = pedal.verdict();
                const auto arrivals = pedal.received();
                juce::String report;
                report << "messages_received=" << (int)arrivals.size() << "\n"
                       << "stream_bytes=" << stream.size() << "\n"
                       << "data_messages=" << verdict.dataMessages << "\n"
                       << "complete=" << (verdict.complete ? 1 : 0) << "\n"
                       << "paced=" << (verdict.paced ? 1 : 0) << "\n"
                       << "revision=" << pedal.revision() << "\n"
                       << "first_error=" << verdict.firstError << "\n"
                       << "arrival_ms=";

                for (size_t i = 0; i < arrivals.size(); ++i)
                    report << (i > 0 ? "," : "") << juce::String (arrivals[i].time, 3);

                juce::File (path).replaceWithText (report + "\n", false, false, "\n");
            }
        }

        emulator::EmulatedPedalLink* pedalLink = nullptr;
    };
}

START_JUCE_APPLICATION (DemoApplication)
