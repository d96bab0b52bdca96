#include "midi/SysexProtocol.h"

namespace midi::protocol
{
    namespace
    {
        constexpr int headerSize = 5;

        // Device header and command come before the packed revision.
        constexpr int revisionPayloadOffset = headerSize + 1;

        juce::Array<juce::uint8> request (int modelId, juce::uint8 command)
        {
            auto bytes = deviceHeader (modelId);
            bytes.add (command);
            return bytes;
        }
    }

    juce::Array<juce::uint8> deviceHeader (int modelId)
    {
        return { 0x00, 0x4B, 0x6E, 0x00, (juce::uint8) (modelId & 0xFF) };
    }

    juce::Array<juce::uint8> identifyRequest (int modelId) { return request (modelId, identifyCommand); }

    juce::Array<juce::uint8> revisionQuery (int modelId) { return request (modelId, revisionQueryCommand); }

    juce::Array<juce::uint8> frame (const juce::Array<juce::uint8>& bytes)
    {
        // Not checked for a closing F7: what starts as SysEx is taken to be complete.
        if (! bytes.isEmpty() && bytes.getFirst() == 0xF0)
            return bytes;

        juce::Array<juce::uint8> framed;
        framed.ensureStorageAllocated (bytes.size() + 2);
        framed.add (0xF0);
        framed.addArray (bytes);
        framed.add (0xF7);
        return framed;
    }

    Acceptance accept (const juce::MidiMessage& message, int modelId)
    {
        if (! message.isSysEx())
            return Acceptance::ignored;

        const auto* data = message.getSysExData();
        const int size = juce::jmax (0, message.getSysExDataSize());
        const auto header = deviceHeader (modelId);

        for (int i = 0; i < juce::jmin (size, headerSize); ++i)
            if (data[i] != header[i])
                return Acceptance::ignored;

        if (size > headerSize && data[headerSize] == identifyReplyCommand)
            return Acceptance::identifyReply;

        return Acceptance::reply;
    }

    bool unpackRevision (const juce::Array<juce::uint8>& replyDataBytes, int& revision)
    {
        static constexpr juce::uint8 masks[] = { 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01 };

        juce::uint8 unpacked[4] {};
        int count = 0;
        int next = revisionPayloadOffset;
        const int end = replyDataBytes.size();

        // Each group: one byte holding the high bits, then up to seven bytes it applies to.
        // A high-bit byte with nothing after it yields nothing.
        while (next + 1 < end && count < 4)
        {
            const auto highBits = replyDataBytes[next++];

            for (auto mask : masks)
            {
                if (next >= end || count >= 4)
                    break;

                const auto b = replyDataBytes[next++];
                unpacked[count++] = (highBits & mask) != 0 ? (juce::uint8) (b | 0x80) : b;
            }
        }

        // A short reply is a failed query, never a revision made up from missing bytes.
        if (count < 4)
            return false;

        revision = (int)((juce::uint32)unpacked[0] | ((juce::uint32)unpacked[1] << 8) | ((juce::uint32)unpacked[2] << 16) | ((juce::uint32)unpacked[3] << 24));
        return true;
    }
}
