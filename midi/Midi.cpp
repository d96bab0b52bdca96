#include "midi/Midi.h"

#include "midi/JuceMidiPorts.h"
#include "midi/SysexProtocol.h"

namespace midi
{
    Midi::Midi() : Midi (std::make_unique<JuceMidiPorts>(), Clock::system()) {}

    Midi::Midi (PortSystem& p, Clock& c) : ports (p), clock (c) {}

    Midi::Midi (std::unique_ptr<PortSystem> own, Clock& c) : ownedPorts (std::move (own)), ports (*ownedPorts), clock (c) {}

    Midi::~Midi() { close(); }

    bool Midi::findDevice (int id)
    {
        modelId = id;
        found = false;

        const auto inputs = ports.getInputs();
        const auto outputs = ports.getOutputs();

        for (const auto& in : inputs)
        {
            for (const auto& out : outputs)
            {
                // Exact and case-sensitive: a USB MIDI device shows both sides under one name.
                if (in.name.compare (out.name) != 0)
                    continue;

                // The input runs before anything is sent, so that no answer is missed.
                input = ports.openInput (in.identifier, this);

                if (input == nullptr)
                    continue;

                input->start();
                output = ports.openOutput (out.identifier);

                // A port another program holds is skipped, never taken for the pedal.
                if (output == nullptr)
                {
                    close();
                    continue;
                }

                const auto request = protocol::identifyRequest (id);
                output->sendMessageNow (juce::MidiMessage::createSysExMessage (request.getRawDataPointer(), request.size()));
                clock.sleep (identifyWaitMs);

                if (found)
                {
                    deviceName = in.name;
                    return true;
                }

                close();
            }
        }

        return false;
    }

    void Midi::close()
    {
        deviceName = {};
        input = nullptr;
        output = nullptr;

        // Only now: with the input gone, no identify reply can set it again.
        found = false;
    }

    void Midi::getDeviceName (juce::String& name) { name = deviceName; }

    bool Midi::send (const juce::Array<juce::uint8>& bytes)
    {
        if (input == nullptr || output == nullptr)
            return false;

        const auto framed = protocol::frame (bytes);
        output->sendMessageNow (juce::MidiMessage (framed.getRawDataPointer(), framed.size()));
        return true;
    }

    bool Midi::sendAndReceive (const juce::Array<juce::uint8>& request, juce::Array<juce::uint8>& reply, int polls)
    {
        if (input == nullptr || output == nullptr)
            return false;

        {
            const juce::ScopedLock sl (replyLock);
            replyReceived = false;
            replyBuffer.clearQuick();
            replyBuffer.minimiseStorageOverheads();
        }

        send (request);

        while (! replyReceived)
        {
            if (polls <= 0)
                return false;

            --polls;
            clock.sleep (pollMs);
        }

        // A reply first seen after the last sleep came too late.
        if (polls <= 0)
            return false;

        // Copied under the lock: the input thread may still be appending a second reply.
        const juce::ScopedLock sl (replyLock);
        reply = replyBuffer;
        return true;
    }

    int Midi::bufferedReplySize() const
    {
        const juce::ScopedLock sl (replyLock);
        return replyBuffer.size();
    }

    void Midi::handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& message)
    {
        switch (protocol::accept (message, modelId))
        {
            case protocol::Acceptance::ignored:
                return;

            case protocol::Acceptance::identifyReply:
                found = true;
                return;

            case protocol::Acceptance::reply:
            {
                const juce::ScopedLock sl (replyLock);
                const int size = juce::jmax (0, message.getSysExDataSize());
                const int room = maxReplyBytes - replyBuffer.size();
                replyBuffer.addArray (message.getSysExData(), juce::jmin (size, room));
                replyReceived = true;
                return;
            }
        }
    }
}
