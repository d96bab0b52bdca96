#pragma once

#include "virtualmidi/VirtualClock.h"
#include "virtualmidi/VirtualMidiBus.h"

#include <vector>

namespace testrig
{
    using Bytes = juce::Array<juce::uint8>;

    /** "F0 00 4B" -> the bytes. */
    inline Bytes bytes (const juce::String& hex)
    {
        Bytes b;

        for (const auto& token : juce::StringArray::fromTokens (hex, " ", ""))
            if (token.isNotEmpty())
                b.add ((juce::uint8)token.getHexValue32());

        return b;
    }

    /** The bytes as "F0 00 4B", for readable comparisons. */
    inline juce::String hex (const Bytes& b) { return juce::String::toHexString (b.getRawDataPointer(), b.size()).toUpperCase(); }

    inline juce::String hex (const juce::MidiMessage& m) { return juce::String::toHexString (m.getRawData(), m.getRawDataSize()).toUpperCase(); }

    inline juce::MidiMessage message (const Bytes& b) { return juce::MidiMessage (b.getRawDataPointer(), b.size()); }

    /** An update stream shaped like the built-in image: begin, `dataMessages` data messages of
        599 bytes with a payload that differs from message to message, end. */
    inline std::vector<Bytes> updateStream (int dataMessages = 378, int modelId = 0x1A)
    {
        const Bytes header { 0xF0, 0x00, 0x4B, 0x6E, 0x00, (juce::uint8)modelId };
        std::vector<Bytes> stream;

        auto begin = header;
        begin.addArray ({ 0x51, 0x01, 0xF7 });
        stream.push_back (begin);

        for (int i = 0; i < dataMessages; ++i)
        {
            auto data = header;
            data.add (0x52);

            for (int k = 0; k < 591; ++k)
                data.add ((juce::uint8) ((i * 7 + k) & 0x7F));

            data.add (0xF7);
            stream.push_back (data);
        }

        auto end = header;
        end.addArray ({ 0x52, 0x01, 0xF7 });
        stream.push_back (end);
        return stream;
    }

    /** A bus in virtual time: every sleep of the clock returns only once what the devices
        sent meanwhile has been delivered. */
    struct Rig
    {
        Rig()
        {
            clock.setSettle ([this] { bus.waitUntilIdle(); });
        }

        virtualmidi::VirtualMidiBus bus;
        virtualmidi::VirtualClock clock;
    };
}
