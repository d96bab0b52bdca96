#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <functional>
#include <memory>

namespace emulator
{
    /** An input and an output that a device shows to the computer under one name, as a USB
        MIDI device does. Destroying it takes both away; once the destructor has returned, the
        receiver it was made with is not called again. */
    class DevicePortPair
    {
    public:
        virtual ~DevicePortPair() = default;

        /** The device sends a message to whoever reads its output. */
        virtual void send (const juce::MidiMessage& message) = 0;
    };

    /** Makes port pairs for a device: the operating system's own MIDI ports in the pedal
        program, ports on a virtual bus in the tests. */
    class DevicePorts
    {
    public:
        /** Called, on a thread of the ports' own, with each message the computer sends. */
        using Receiver = std::function<void (const juce::MidiMessage&)>;

        virtual ~DevicePorts() = default;

        /** Null when the ports cannot be made. */
        virtual std::unique_ptr<DevicePortPair> create (const juce::String& name, Receiver receiver) = 0;
    };
}
