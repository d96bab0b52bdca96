#pragma once

#include "midi/MidiPorts.h"

namespace midi
{
    /** The computer's own MIDI ports, through JUCE (the ALSA sequencer on Linux). */
    class JuceMidiPorts final : public PortSystem
    {
    public:
        juce::Array<PortInfo> getInputs() override;
        juce::Array<PortInfo> getOutputs() override;

        std::unique_ptr<InputPort> openInput (const juce::String& identifier, juce::MidiInputCallback* callback) override;
        std::unique_ptr<OutputPort> openOutput (const juce::String& identifier) override;
    };
}
