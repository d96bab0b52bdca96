#pragma once

#include "emulator/PedalEmulator.h"
#include "midi/Midi.h"
#include "virtualmidi/RealTimeScheduler.h"
#include "virtualmidi/VirtualMidiBus.h"

namespace emulator
{
    /** A device link whose MIDI ports hold an emulated pedal, in real time: the real link
        algorithm over virtual ports. It owns the ports and the pedal, so that they outlive
        the link that uses them and go with it. */
    class EmulatedPedalLink final : public midi::MidiIf
    {
    public:
        /** `present` false: the ports stay empty, as with no pedal plugged in. */
        explicit EmulatedPedalLink (PedalConfig config = {}, bool present = true);
        ~EmulatedPedalLink() override;

        bool findDevice (int modelId) override;
        void close() override;
        void getDeviceName (juce::String& name) override;
        bool sendAndReceive (const juce::Array<juce::uint8>& request, juce::Array<juce::uint8>& reply, int polls) override;
        bool send (const juce::Array<juce::uint8>& bytes) override;

        /** The pedal, or null when none is plugged in. */
        PedalEmulator* pedal() { return emulatedPedal.get(); }

        /** Reads a pedal's behaviour from a name: "healthy", "absent", "never-comes-back",
            "silent-after-restart", "wrong-revision", "short-reply", "noisy". */
        static bool configFromName (const juce::String& name, PedalConfig& config, bool& present);

    private:
        virtualmidi::VirtualMidiBus bus;
        virtualmidi::RealTimeScheduler scheduler;
        std::unique_ptr<PedalEmulator> emulatedPedal;
        midi::Midi link;
    };
}
