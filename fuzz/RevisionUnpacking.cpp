// Fuzz target: unpacking the firmware revision from arbitrary reply bytes.
// Holds for every input: the result agrees with a plain reading of the packing rule (groups of
// a high-bit byte and up to seven bytes; four bytes make the revision, least significant first;
// fewer is no revision); and any revision, packed as the pedal packs it and followed by any
// bytes at all, reads back as itself.

#include "midi/SysexProtocol.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
    void check (bool condition)
    {
        if (! condition)
            std::abort();
    }

    /** The rule, read step by step: skip header and command, then unpack group by group. */
    bool plainReading (const juce::uint8* p, size_t n, int& revision)
    {
        std::vector<juce::uint8> out;
        size_t i = 6;

        while (i < n)
        {
            const auto high = p[i++];

            if (i == n)
                break; // a lone high-bit byte at the end yields nothing

            for (juce::uint8 mask = 0x40; mask != 0 && i < n; mask >>= 1)
            {
                const auto b = p[i++];
                out.push_back ((high & mask) != 0 ? (juce::uint8) (b | 0x80) : b);
            }
        }

        if (out.size() < 4)
            return false;

        revision = (int)(out[0] | (juce::uint32)out[1] << 8 | (juce::uint32)out[2] << 16 | (juce::uint32)out[3] << 24);
        return true;
    }

    /** How the pedal packs a revision: the four bytes' high bits first, then their low seven. */
    juce::Array<juce::uint8> pack (juce::uint32 r)
    {
        juce::Array<juce::uint8> packed { 0 };

        for (int i = 0; i < 4; ++i)
        {
            const auto b = (juce::uint8) (r >> (8 * i));
            packed.set (0, (juce::uint8) (packed[0] | ((b & 0x80) != 0 ? 0x40 >> i : 0)));
            packed.add ((juce::uint8) (b & 0x7F));
        }

        return packed;
    }
}

extern "C" int LLVMFuzzerTestOneInput (const juce::uint8* bytes, size_t length)
{
    // Exactly the input, so that AddressSanitizer sees any read past the reply.
    const juce::Array<juce::uint8> reply (bytes, (int)length);
    int revision = -12345, expected = -12345;
    const bool read = midi::protocol::unpackRevision (reply, revision);
    check (read == plainReading (bytes, length, expected));
    check (! read || revision == expected);

    if (length >= 4)
    {
        juce::uint32 r;
        std::memcpy (&r, bytes, 4);
        auto framed = midi::protocol::deviceHeader (0x1A);
        framed.add (0x03);
        framed.addArray (pack (r));
        framed.addArray (bytes + 4, (int)length - 4);

        int back = 0;
        check (midi::protocol::unpackRevision (framed, back) && (juce::uint32)back == r);
    }

    return 0;
}
