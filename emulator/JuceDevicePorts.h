#pragma once

#include "emulator/DevicePorts.h"

namespace emulator
{
    /** Port pairs that other programs see among the computer's MIDI ports, made with JUCE's
        createNewDevice: sequencer ports of this program's own ALSA client on Linux (one port
        written to and one read from, both under the device's name), virtual sources and
        destinations on macOS. Other platforms cannot make them. */
    class JuceDevicePorts final : public DevicePorts
    {
    public:
        std::unique_ptr<DevicePortPair> create (const juce::String& name, Receiver receiver) override;

        /** Why ports cannot be made on this computer, or empty when they probably can. */
        static juce::String whyUnavailable();
    };
}
