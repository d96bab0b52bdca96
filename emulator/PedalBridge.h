#pragma once

#include "emulator/DevicePorts.h"
#include "midi/MidiPorts.h"

#include <memory>
#include <vector>

namespace emulator
{
    /** Shows the devices of a port system (the emulated pedal on its virtual bus) to the
        computer: each device with both sides gets a port pair of the same name, and messages
        cross in both directions. When the device vanishes its ports go, and when it comes
        back (a restarted pedal, under its running name) new ports appear, as a USB device's
        would. sync() and the destructor are called from one thread; the messages cross on
        the ports' own threads. */
    class PedalBridge final
    {
    public:
        /** Both must outlive the bridge. */
        PedalBridge (midi::PortSystem& devices, DevicePorts& ports);

        /** Takes every port pair away. */
        ~PedalBridge();

        struct Change
        {
            enum Kind
            {
                up,    // ports appeared under `name`
                down,  // the ports of `name` went away
                failed // ports for `name` could not be made; not tried again
            };

            Kind kind;
            juce::String name;
        };

        /** Brings the ports in line with the devices and tells what changed. */
        std::vector<Change> sync();

        /** The names under which ports are shown now. */
        juce::StringArray shownNames() const;

    private:
        struct Mirror;

        midi::PortSystem& devices;
        DevicePorts& ports;
        std::vector<std::unique_ptr<Mirror>> mirrors;

        JUCE_DECLARE_NON_COPYABLE (PedalBridge)
    };
}
