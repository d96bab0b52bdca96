#pragma once

#include "midi/Clock.h"
#include "midi/MidiIf.h"
#include "midi/MidiPorts.h"

#include <atomic>
#include <memory>

namespace midi
{
    /** The device link: finds the pedal among the MIDI ports by its answer to the identify
        request, holds its port pair open, sends to it and collects its replies, which arrive
        on the port's input thread. Called from one thread at a time. */
    class Midi final : public juce::MidiInputCallback,
                       public MidiIf
    {
    public:
        /** Over the computer's MIDI ports and the real clock. */
        Midi();

        /** Over the given ports and clock, which must outlive the link. */
        Midi (PortSystem& ports, Clock& clock);

        ~Midi() override;

        void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override;

        bool findDevice (int modelId) override;
        void close() override;
        void getDeviceName (juce::String& name) override;
        bool sendAndReceive (const juce::Array<juce::uint8>& request, juce::Array<juce::uint8>& reply, int polls) override;
        bool send (const juce::Array<juce::uint8>& bytes) override;

        /** How many reply bytes wait in the buffer; a late reply stays there until the next
            sendAndReceive empties it. */
        int bufferedReplySize() const;

        /** The most reply bytes kept between two waits; a device that keeps talking cannot
            grow the buffer past this, and any reply fits many times over. */
        static constexpr int maxReplyBytes = 4096;

        static constexpr int identifyWaitMs = 300;
        static constexpr int pollMs = 10;

    private:
        Midi (std::unique_ptr<PortSystem> ownPorts, Clock& clock);

        std::unique_ptr<PortSystem> ownedPorts;
        PortSystem& ports;
        Clock& clock;

        // Read by the input thread.
        std::atomic<int> modelId { 0 };

        // Written by the input thread, read by the waiting thread between its sleeps.
        std::atomic<bool> found { false };
        std::atomic<bool> replyReceived { false };

        // Guards replyBuffer, and replyReceived's changes, so that a reply's bytes and its mark
        // always change together.
        juce::CriticalSection replyLock;
        juce::Array<juce::uint8> replyBuffer;

        juce::String deviceName;
        std::unique_ptr<InputPort> input;
        std::unique_ptr<OutputPort> output;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Midi)
    };
}
