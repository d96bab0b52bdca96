#include "emulator/PedalBridge.h"

#include <algorithm>

namespace emulator
{
    // One device and the ports that show it.
    struct PedalBridge::Mirror final : public juce::MidiInputCallback
    {
        Mirror (const midi::PortInfo& device) : identifier (device.identifier), name (device.name) {}

        // In this order: nothing the device sends reaches the ports once they are going, and
        // nothing the computer sends reaches the device once its port is closed.
        ~Mirror() override
        {
            fromDevice = nullptr;
            shown = nullptr;
            toDevice = nullptr;
        }

        // The devices' input thread: the device talks to the computer.
        void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message) override { shown->send (message); }

        const juce::String identifier, name;
        std::unique_ptr<midi::OutputPort> toDevice;
        std::unique_ptr<DevicePortPair> shown;
        std::unique_ptr<midi::InputPort> fromDevice;
    };

    PedalBridge::PedalBridge (midi::PortSystem& d, DevicePorts& p) : devices (d), ports (p) {}

    PedalBridge::~PedalBridge()
    {
        // Newest first, as devices unplug.
        while (! mirrors.empty())
            mirrors.pop_back();
    }

    std::vector<PedalBridge::Change> PedalBridge::sync()
    {
        std::vector<Change> changes;
        juce::Array<midi::PortInfo> listed;
        const auto outputs = devices.getOutputs();

        for (const auto& in : devices.getInputs())
            for (const auto& out : outputs)
                if (in.identifier == out.identifier)
                    listed.add (in);

        const auto stillListed = [&listed] (const Mirror& m) {
            for (const auto& d : listed)
                if (d.identifier == m.identifier && d.name == m.name)
                    return true;

            return false;
        };

        // Gone or renamed devices first, so that a device's old ports are away before its
        // new ones show.
        for (auto it = mirrors.begin(); it != mirrors.end();)
        {
            if (stillListed (**it))
            {
                ++it;
                continue;
            }

            const bool wasShown = (*it)->shown != nullptr;
            const auto name = (*it)->name;
            it = mirrors.erase (it);

            if (wasShown)
                changes.push_back ({ Change::down, name });
        }

        for (const auto& device : listed)
        {
            const bool known = std::any_of (mirrors.begin(), mirrors.end(), [&device] (const auto& m) { return m->identifier == device.identifier; });

            if (known)
                continue;

            auto mirror = std::make_unique<Mirror> (device);
            mirror->toDevice = devices.openOutput (device.identifier);

            if (mirror->toDevice != nullptr)
            {
                auto* toDevice = mirror->toDevice.get();
                mirror->shown = ports.create (device.name, [toDevice] (const juce::MidiMessage& m) { toDevice->sendMessageNow (m); });
            }

            if (mirror->shown != nullptr)
            {
                mirror->fromDevice = devices.openInput (device.identifier, mirror.get());

                if (mirror->fromDevice != nullptr)
                    mirror->fromDevice->start();
            }

            if (mirror->shown != nullptr && mirror->fromDevice != nullptr)
            {
                changes.push_back ({ Change::up, device.name });
            }
            else
            {
                // Kept without ports, so that it is not tried again every time.
                mirror->fromDevice = nullptr;
                mirror->shown = nullptr;
                mirror->toDevice = nullptr;
                changes.push_back ({ Change::failed, device.name });
            }

            mirrors.push_back (std::move (mirror));
        }

        return changes;
    }

    juce::StringArray PedalBridge::shownNames() const
    {
        juce::StringArray names;

        for (const auto& m : mirrors)
            if (m->shown != nullptr)
                names.add (m->name);

        return names;
    }
}
