#include "emulator/EmulatedPedalLink.h"

namespace emulator
{
    EmulatedPedalLink::EmulatedPedalLink (PedalConfig config, bool present)
        : link (bus, midi::Clock::system())
    {
        if (present)
            emulatedPedal = std::make_unique<PedalEmulator> (bus, scheduler, config);
    }

    EmulatedPedalLink::~EmulatedPedalLink()
    {
        link.close();
    }

    bool EmulatedPedalLink::findDevice (int modelId) { return link.findDevice (modelId); }
    void EmulatedPedalLink::close() { link.close(); }
    void EmulatedPedalLink::getDeviceName (juce::String& name) { link.getDeviceName (name); }
    bool EmulatedPedalLink::send (const juce::Array<juce::uint8>& bytes) { return link.send (bytes); }

    bool EmulatedPedalLink::sendAndReceive (const juce::Array<juce::uint8>& request, juce::Array<juce::uint8>& reply, int polls)
    {
        return link.sendAndReceive (request, reply, polls);
    }

    bool EmulatedPedalLink::configFromName (const juce::String& name, PedalConfig& config, bool& present)
    {
        present = true;
        auto& faults = config.faults;

        if (name.isEmpty() || name == "healthy")
            return true;
        if (name == "absent")
            present = false;
        else if (name == "never-comes-back")
            faults.neverComesBack = true;
        else if (name == "silent-after-restart")
            faults.ignoresRevisionQuery = true;
        else if (name == "wrong-revision")
            faults.wrongRevision = config.newRevision - 1;
        else if (name == "short-reply")
            faults.shortRevisionReply = true;
        else if (name == "noisy")
            faults.noiseIntervalMs = 7, faults.noise = foreignNoise();
        else
            return false;

        return true;
    }
}
