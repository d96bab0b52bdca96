#include "emulator/InputBuffer.h"
#include "emulator/PedalEmulator.h"
#include "emulator/PedalReport.h"
#include "virtualmidi/TestRig.h"

#include <gtest/gtest.h>

using namespace testrig;
using emulator::InputBuffer;
using emulator::PedalConfig;
using emulator::PedalEmulator;

namespace
{
    /** The pedal on a virtual bus in virtual time, written to through its input buffer
        (capacity 0: straight, as if it read each message when it arrived). */
    struct BufferRig : Rig
    {
        explicit BufferRig (int capacity, PedalConfig config = {})
            : pedal (bus, clock, config), buffer (bus, clock, juce::jmax (1, capacity), config)
        {
            const auto id = juce::String (pedal.endpoint());
            out = capacity > 0 ? buffer.openOutput (id) : bus.openOutput (id);
        }

        /** Sends at the given virtual time (never earlier than now). */
        void sendAt (double time, const Bytes& b)
        {
            clock.advance (time - clock.now());
            out->sendMessageNow (message (b));
        }

        juce::String received (size_t index)
        {
            const auto r = pedal.received();
            return index < r.size() ? juce::String (r[index].time) + ":" + hex (r[index].bytes) : "none";
        }

        PedalEmulator pedal;
        InputBuffer buffer;
        std::unique_ptr<midi::OutputPort> out;
    };
}

TEST (InputBuffer, LetsThePedalJudgeThePaceAsItsFlashWould)
{
    // The whole update stream of the image's shape; the pedal's flash needs 30 ms a message.
    struct Row
    {
        const char* what;
        int capacity;
        std::function<double (int)> sentAt; // the time of stream message k (0: the begin)
        const char* verdict;
        bool lost;
    };

    const auto bunched = [] (int k) { return k * 40.0 - (k % 2) * 38.0; }; // pairs 2 ms apart, 40 ms on average
    const std::vector<Row> rows {
        { "40 ms apart", 8, [] (int k) { return k * 40.0; }, "updated", false },
        { "read in pairs 2 ms apart", 8, bunched, "updated", false },
        { "read in pairs, without a buffer", 0, bunched, "badly-paced", false },
        { "a stall of 300 ms, then all that waited at once", 8, [] (int k) { return k < 100 ? k * 40.0 : juce::jmax (k * 40.0, 4300.0); }, "updated", false },
        { "20 ms apart: faster than the flash", 8, [] (int k) { return k * 20.0; }, "incomplete", true },
        { "all at once", 8, [] (int) { return 0.0; }, "incomplete", true },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.what);
        BufferRig r (row.capacity);
        const auto stream = updateStream();

        for (int k = 0; k < (int)stream.size(); ++k)
            r.sendAt (row.sentAt (k), stream[(size_t)k]);

        r.clock.advance (20000);
        const auto v = r.pedal.verdict();
        EXPECT_EQ (emulator::PedalReport::verdictOf (v, true), row.verdict) << v.firstError;
        EXPECT_EQ (r.pedal.revision(), juce::String (row.verdict) == "updated" ? 739 : 700);

        if (row.capacity > 0)
        {
            EXPECT_EQ (r.buffer.lost() > 0, row.lost);
            EXPECT_LE (r.buffer.peak(), row.capacity);
            EXPECT_EQ (r.buffer.arrivals().size(), stream.size()) << "every arrival is recorded, lost or not";
            EXPECT_EQ (r.buffer.arrivals()[1].time, row.sentAt (1)) << "as it arrived, not as the pedal took it";
        }
    }
}

TEST (InputBuffer, OtherMessagesWaitOnlyWhileThePedalIsBusy)
{
    PedalConfig config;
    config.eraseTimeMs = 100;
    BufferRig r (8, config);
    const auto stream = updateStream();

    // Idle: the identify request reaches the pedal at once.
    r.sendAt (0, bytes ("F0 00 4B 6E 00 1A 00 F7"));
    r.clock.advance (0);
    EXPECT_EQ (r.received (0), "0:F0 00 4B 6E 00 1A 00 F7");

    // Erasing after the begin, then writing: what comes meanwhile waits its turn.
    r.sendAt (10, stream[0]);
    r.sendAt (20, stream[1]);
    r.sendAt (30, bytes ("F0 00 4B 6E 00 1A 03 F7"));
    r.sendAt (40, stream[2]);
    r.clock.advance (300);
    EXPECT_EQ (r.received (1).upToFirstOccurrenceOf (":", false, false), "10");
    EXPECT_EQ (r.received (2).upToFirstOccurrenceOf (":", false, false), "110");
    EXPECT_EQ (r.received (3), "140:F0 00 4B 6E 00 1A 03 F7");
    EXPECT_EQ (r.received (4).upToFirstOccurrenceOf (":", false, false), "140");
    EXPECT_EQ (r.buffer.peak(), 3);

    // Once the port goes, what still waits goes nowhere.
    for (int k = 3; k < 8; ++k)
        r.sendAt (340, stream[(size_t)k]);

    r.clock.advance (35);
    EXPECT_EQ (r.pedal.received().size(), 7u);
    r.out = nullptr;
    r.clock.advance (1000);
    EXPECT_EQ (r.pedal.received().size(), 7u);
    EXPECT_EQ (r.buffer.lost(), 0);
}
