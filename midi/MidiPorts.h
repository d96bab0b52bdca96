#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

/*  The few MIDI port operations the device link needs, so that it runs over the computer's
    ports in the program and over virtual ports in the tests. */
namespace midi
{
    /** A port as a listing shows it: the name the user sees and the identifier that opens it. */
    struct PortInfo
    {
        juce::String name;
        juce::String identifier;
    };

    /** An open input port. Destroying it stops and closes the port: once the destructor has
        returned, its callback is not called again. */
    class InputPort
    {
    public:
        virtual ~InputPort() = default;

        /** Starts delivering incoming messages to the callback, on the port's own thread. */
        virtual void start() = 0;
    };

    /** An open output port; destroying it closes the port. */
    class OutputPort
    {
    public:
        virtual ~OutputPort() = default;

        /** Puts the message on the wire before it returns. */
        virtual void sendMessageNow (const juce::MidiMessage& message) = 0;
    };

    /** Lists and opens ports; null from an open means the port could not be opened. */
    class PortSystem
    {
    public:
        virtual ~PortSystem() = default;

        /** The ports in the platform's order. */
        virtual juce::Array<PortInfo> getInputs() = 0;
        virtual juce::Array<PortInfo> getOutputs() = 0;

        virtual std::unique_ptr<InputPort> openInput (const juce::String& identifier, juce::MidiInputCallback* callback) = 0;
        virtual std::unique_ptr<OutputPort> openOutput (const juce::String& identifier) = 0;
    };
}
