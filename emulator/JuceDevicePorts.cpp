#include "emulator/JuceDevicePorts.h"

#include <juce_audio_devices/juce_audio_devices.h>

namespace emulator
{
    namespace
    {
        class JucePortPair final : public DevicePortPair,
                                   private juce::MidiInputCallback
        {
        public:
            explicit JucePortPair (DevicePorts::Receiver r) : receiver (std::move (r)) {}

            ~JucePortPair() override
            {
                // The input first: JUCE waits out a callback that is running, so none reaches
                // a receiver that is going away.
                input = nullptr;
                output = nullptr;
            }

            bool open (const juce::String& name)
            {
                // Listening before the output appears: once the computer sees both sides it
                // may send at once.
                input = juce::MidiInput::createNewDevice (name, this);

                if (input == nullptr)
                    return false;

                input->start();
                output = juce::MidiOutput::createNewDevice (name);
                return output != nullptr;
            }

            void send (const juce::MidiMessage& message) override { output->sendMessageNow (message); }

        private:
            void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message) override { receiver (message); }

            DevicePorts::Receiver receiver;
            std::unique_ptr<juce::MidiInput> input;
            std::unique_ptr<juce::MidiOutput> output;
        };
    }

    std::unique_ptr<DevicePortPair> JuceDevicePorts::create (const juce::String& name, Receiver receiver)
    {
        if (whyUnavailable().isNotEmpty())
            return nullptr;

        auto pair = std::make_unique<JucePortPair> (std::move (receiver));

        if (! pair->open (name))
            return nullptr;

        return pair;
    }

    juce::String JuceDevicePorts::whyUnavailable()
    {
#if JUCE_LINUX
        // Without the sequencer JUCE would make ports that nobody can see.
        if (! juce::File ("/dev/snd/seq").exists())
            return "this computer has no ALSA sequencer (/dev/snd/seq is missing; modprobe snd-seq loads it)";
#elif ! JUCE_MAC
        return "this platform cannot make MIDI ports for other programs";
#endif
        return {};
    }
}
