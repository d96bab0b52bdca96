#include "midi/JuceMidiPorts.h"

namespace midi
{
    namespace
    {
        juce::Array<PortInfo> toPortInfos (const juce::Array<juce::MidiDeviceInfo>& devices)
        {
            juce::Array<PortInfo> ports;

            for (const auto& d : devices)
                ports.add ({ d.name, d.identifier });

            return ports;
        }

        class JuceInputPort final : public InputPort
        {
        public:
            explicit JuceInputPort (std::unique_ptr<juce::MidiInput> in) : input (std::move (in)) {}

            // JUCE's MidiInput stops itself when it is destroyed.
            void start() override { input->start(); }

        private:
            std::unique_ptr<juce::MidiInput> input;
        };

        class JuceOutputPort final : public OutputPort
        {
        public:
            explicit JuceOutputPort (std::unique_ptr<juce::MidiOutput> out) : output (std::move (out)) {}

            void sendMessageNow (const juce::MidiMessage& message) override { output->sendMessageNow (message); }

        private:
            std::unique_ptr<juce::MidiOutput> output;
        };
    }

    juce::Array<PortInfo> JuceMidiPorts::getInputs() { return toPortInfos (juce::MidiInput::getAvailableDevices()); }

    juce::Array<PortInfo> JuceMidiPorts::getOutputs() { return toPortInfos (juce::MidiOutput::getAvailableDevices()); }

    std::unique_ptr<InputPort> JuceMidiPorts::openInput (const juce::String& identifier, juce::MidiInputCallback* callback)
    {
        if (auto input = juce::MidiInput::openDevice (identifier, callback))
            return std::make_unique<JuceInputPort> (std::move (input));

        return nullptr;
    }

    std::unique_ptr<OutputPort> JuceMidiPorts::openOutput (const juce::String& identifier)
    {
        if (auto output = juce::MidiOutput::openDevice (identifier))
            return std::make_unique<JuceOutputPort> (std::move (output));

        return nullptr;
    }
}
