#include "midi/SysexProtocol.h"
#include "virtualmidi/TestRig.h"

#include <gtest/gtest.h>

using namespace midi::protocol;
using testrig::bytes;
using testrig::hex;

TEST (SysexProtocol, RequestsAreTheirSixDataBytes)
{
    EXPECT_EQ (hex (identifyRequest (0x1A)), "00 4B 6E 00 1A 00");
    EXPECT_EQ (hex (revisionQuery (0x1A)), "00 4B 6E 00 1A 03");

    // Only the low eight bits of the model id go on the wire.
    EXPECT_EQ (hex (identifyRequest (0x21A)), "00 4B 6E 00 1A 00");
    EXPECT_EQ (hex (revisionQuery (0x7F)), "00 4B 6E 00 7F 03");
}

TEST (SysexProtocol, FramingWrapsAllButWhatStartsAsSysex)
{
    const struct
    {
        const char* in;
        const char* wire;
    } cases[] = {
        { "F0 00 4B 6E 00 1A 51 01 F7", "F0 00 4B 6E 00 1A 51 01 F7" }, // an image message, verbatim
        { "F0 01 02", "F0 01 02" },                                     // not checked for its F7
        { "00 4B 6E 00 1A 03", "F0 00 4B 6E 00 1A 03 F7" },
        { "7F", "F0 7F F7" },
        { "", "F0 F7" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (hex (frame (bytes (c.in))), c.wire) << "sending " << c.in;
}

TEST (SysexProtocol, AcceptanceComparesTheHeaderOverTheBytesThereAre)
{
    const struct
    {
        const char* message;
        Acceptance expected;
    } cases[] = {
        { "F0 00 4B 6E 00 1A 01 F7", Acceptance::identifyReply },
        { "F0 00 4B 6E 00 1A 01 7F 7F F7", Acceptance::identifyReply },  // bytes after the command ignored
        { "F0 00 4B 6E 00 1A 03 40 63 02 00 00 F7", Acceptance::reply }, // a revision reply
        { "F0 00 4B 6E 00 1A 7F 40 63 02 00 00 F7", Acceptance::reply }, // its command is not examined
        { "F0 00 4B 6E 00 1A 00 F7", Acceptance::reply },                // our own request, echoed
        { "F0 00 4B 6E 00 1A F7", Acceptance::reply },                   // the header alone
        { "F0 00 4B 6E F7", Acceptance::reply },                         // the start of the header
        { "F0 00 F7", Acceptance::reply },
        { "F0 F7", Acceptance::reply },
        { "F0 00 4B 6E 00 1B 01 F7", Acceptance::ignored }, // another model
        { "F0 00 4B 6E 01 1A 01 F7", Acceptance::ignored }, // another fixed byte
        { "F0 00 20 29 00 1A 01 F7", Acceptance::ignored }, // another maker
        { "F0 7E F7", Acceptance::ignored },
        { "F8", Acceptance::ignored },       // clock
        { "90 3C 64", Acceptance::ignored }, // a note
    };

    for (const auto& c : cases)
        EXPECT_EQ (accept (testrig::message (bytes (c.message)), 0x1A), c.expected) << c.message;

    // The header follows the model id the link looks for, by its low eight bits.
    EXPECT_EQ (accept (testrig::message (bytes ("F0 00 4B 6E 00 1B 01 F7")), 0x1B), Acceptance::identifyReply);
    EXPECT_EQ (accept (testrig::message (bytes ("F0 00 4B 6E 00 1A 01 F7")), 0x11A), Acceptance::identifyReply);
}

TEST (SysexProtocol, RevisionUnpacksFromSevenBitGroups)
{
    const struct
    {
        const char* reply; // data bytes: header, command, packed revision
        bool ok;
        int revision;
    } cases[] = {
        { "00 4B 6E 00 1A 03 40 63 02 00 00", true, 739 },
        { "00 4B 6E 00 1A 03 40 63 02 00 00 00 00 00", true, 739 },    // a full first group
        { "00 4B 6E 00 1A 03 40 63 02 00 00 00 00 00 12", true, 739 }, // then a lone high-bit byte
        { "00 4B 6E 00 1A 03 40 63 02 00 00 55 55", true, 739 },       // bytes after the fourth ignored
        { "00 4B 6E 00 1A 03 00 63 02 00 00", true, 0x263 },           // no high bits
        { "00 4B 6E 00 1A 03 78 7F 7F 7F 7F", true, -1 },              // every high bit: FF FF FF FF
        { "00 4B 6E 00 1A 03 10 01 02 03 04", true, 0x04830201 },      // mask 10 marks the third byte
        { "00 4B 6E 00 1A 03 08 11 22 33 44", true, (int)0xC4332211 }, // mask 08 the fourth
        { "00 4B 6E 00 1A 03 01 11 22 33 44", true, 0x44332211 },      // mask 01 the seventh, past the revision
        { "00 4B 6E 00 1A 03 40 63 02 00", false, 0 },                 // three bytes only
        { "00 4B 6E 00 1A 03 40", false, 0 },                          // a lone high-bit byte
        { "00 4B 6E 00 1A 03", false, 0 },
        { "00 4B 6E", false, 0 },
        { "", false, 0 },
    };

    for (const auto& c : cases)
    {
        int revision = 12345;
        EXPECT_EQ (unpackRevision (bytes (c.reply), revision), c.ok) << c.reply;
        EXPECT_EQ (revision, c.ok ? c.revision : 12345) << c.reply << ": a failed unpack leaves the revision alone";
    }
}
