// Whole updates against a pedal and a MIDI setup that misbehave: floods of foreign traffic,
// garbage from the pedal itself, every answer given twice, and replies that straddle the end
// of the revision wait. The stream the pedal takes must stay byte-exact and the verdict must
// be the one the protocol gives, above all never a success that did not happen.

#include "evidence/UpdateRig.h"

#include <gtest/gtest.h>

using namespace evidence;
using namespace message;

namespace
{
    using Bytes = juce::Array<juce::uint8>;

    juce::MidiMessage toMessage (const Bytes& b) { return juce::MidiMessage (b.getRawDataPointer(), b.size()); }

    /** A message from the pedal with model id 1A: header, command, payload. */
    Bytes fromPedal (juce::uint8 command, const Bytes& payload = {})
    {
        Bytes b { 0xF0, 0x00, 0x4B, 0x6E, 0x00, 0x1A, command };
        b.addArray (payload);
        b.add (0xF7);
        return b;
    }

    Bytes revisionReply (int revision) { return fromPedal (0x03, emulator::PedalEmulator::packRevision (revision)); }

    Bytes withModelId (Bytes b, juce::uint8 id)
    {
        b.set (5, id);
        return b;
    }

    const Bytes emptySysex { 0xF0, 0xF7 };

    /** What the pedal sends on its own, `delayMs` after the revision query reached it. */
    struct Scripted
    {
        double delayMs;
        Bytes bytes;
    };

    /** Runs `script (n)` right after the pedal received the n-th of the revision queries
        (from 0) that a run sends as the messages numbered `at`, and sends what it returns
        from the pedal's port at the given delays. */
    void onRevisionQueries (UpdateRig& s, std::vector<int> at, std::function<std::vector<Scripted> (int)> script)
    {
        for (size_t n = 0; n < at.size(); ++n)
        {
            s.pedal->afterMessage (at[n], [&s, script, n] {
                for (auto& [delay, bytes] : script ((int)n))
                    s.clock.schedule (delay, [&s, b = bytes] { s.bus.sendFromDevice (s.pedal->endpoint(), toMessage (b)); });
            });
        }
    }
}

TEST (HostileInput, NoiseInEveryPhaseLeavesTheStreamExactAndTheVerdictHonest)
{
    struct Case
    {
        const char* what;
        std::vector<juce::MidiMessage> noise;
        double intervalMs;
        bool beforeUpdate, afterRestart;
        double revisionDelayMs;
        bool succeeds;
    };

    const std::vector<Case> cases {
        { "a MIDI clock flood from start to end", { juce::MidiMessage::midiClock() }, 1, true, true, 5, true },
        { "other devices' notes, controllers and SysEx from start to end", emulator::foreignNoise(), 1, true, true, 5, true },
        { "junk replies while it is found and takes the stream", { toMessage (fromPedal (0x7F, { 0x11, 0x22, 0x33 })) }, 1, true, false, 5, true },
        { "empty SysEx among the traffic, the revision reply within one poll", emulator::defaultNoise(), 1, true, true, 5, true },

        // An empty SysEx passes the header comparison over the bytes it has, so the protocol
        // counts it as a reply. When one arrives in the poll before the revision reply, the
        // look finds a reply with no revision in it: the update is reported as failed. That
        // failure is the protocol's own outcome, and the honest one; never a success.
        { "empty SysEx among the traffic, the revision reply a poll late", emulator::defaultNoise(), 1, true, true, 15, false },
        { "the pedal's own garbage in the revision wait", { toMessage (revisionReply (12345)) }, 1, false, true, 5, false },
    };

    for (auto& c : cases)
    {
        for (const bool unattended : { true, false })
        {
            SCOPED_TRACE (juce::String (c.what) + (unattended ? ", unattended" : ", interactive"));
            emulator::PedalConfig config;
            config.faults.noise = c.noise;
            config.faults.noiseIntervalMs = c.intervalMs;
            config.faults.noiseBeforeUpdate = c.beforeUpdate;
            config.faults.noiseAfterRestart = c.afterRestart;
            config.revisionDelayMs = c.revisionDelayMs;
            UpdateRig s (unattended, config);
            s.start();

            if (! unattended)
            {
                ASSERT_TRUE (s.pressUpdateWhenEnabled());
            }

            ASSERT_TRUE (s.runToEnd());
            testsupport::drain (2);

            EXPECT_EQ (s.pedal->streamBytes(), s.image());
            EXPECT_TRUE (s.pedal->verdict().complete);
            EXPECT_TRUE (s.pedal->verdict().paced) << s.pedal->verdict().firstError;
            EXPECT_EQ (s.verdicts(), juce::StringArray { c.succeeds ? success : failure });
            EXPECT_EQ (s.controller.getResult(), c.succeeds ? 0 : -1);
        }
    }
}

TEST (HostileInput, APedalThatAnswersEverythingTwiceIsUpdatedOnce)
{
    for (const bool unattended : { true, false })
    {
        SCOPED_TRACE (unattended ? "unattended" : "interactive");
        emulator::PedalConfig config;
        config.faults.answersTwice = true;
        UpdateRig s (unattended, config);
        s.start();

        if (! unattended)
        {
            ASSERT_TRUE (s.pressUpdateWhenEnabled());
        }

        ASSERT_TRUE (s.runToEnd());
        testsupport::drain (2);

        EXPECT_EQ (s.received (MessageType::deviceFound), 1) << "the second identify reply finds nothing new";
        EXPECT_EQ (s.pedal->streamBytes(), s.image());
        EXPECT_EQ (s.revisionQueries().size(), 1u);
        EXPECT_EQ (s.verdicts(), juce::StringArray { success });
        EXPECT_EQ (s.controller.getResult(), 0);
    }
}

TEST (HostileInput, RevisionRepliesAroundTheEndOfTheWait)
{
    // The query waits 20 polls of 10 ms; the reply is looked for before each sleep and after
    // the first nineteen, so what first shows at 191 ms or later comes too late.
    struct Case
    {
        const char* what;
        std::vector<Scripted> replies;
        bool succeeds;
    };

    const std::vector<Case> cases {
        { "at once", { { 0, revisionReply (739) } }, true },
        { "at the look after the nineteenth poll", { { 190, revisionReply (739) } }, true },
        { "just after it", { { 191, revisionReply (739) } }, false },
        { "exactly at the look after the last poll", { { 200, revisionReply (739) } }, false },
        { "after an identify reply, which does not end the wait", { { 20, fromPedal (0x01) }, { 50, revisionReply (739) } }, true },
        { "after another model's reply", { { 21, withModelId (revisionReply (738), 0x1B) }, { 25, revisionReply (739) } }, true },
        // An empty SysEx passes the header comparison, so the protocol counts it as a reply:
        // seen alone at a look, it ends the wait with no revision in it, a failed update.
        { "an empty SysEx in an earlier poll", { { 20, emptySysex }, { 50, revisionReply (739) } }, false },
        { "an empty SysEx in the same poll", { { 21, emptySysex }, { 25, revisionReply (739) } }, true },
        { "another revision first, in the same poll", { { 21, revisionReply (738) }, { 25, revisionReply (739) } }, false },
        { "twice in the same poll", { { 21, revisionReply (739) }, { 25, revisionReply (739) } }, true },
        { "split: the header alone, then the packed revision without one", { { 21, fromPedal (0x03) }, { 25, { 0xF0, 0x40, 0x63, 0x02, 0x00, 0x00, 0xF7 } } }, false },
        { "too short to hold a revision", { { 20, fromPedal (0x03, { 0x40, 0x63, 0x02, 0x00 }) } }, false },
    };

    for (auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        emulator::PedalConfig config;
        config.faults.ignoresRevisionQuery = true; // every reply is the script's
        UpdateRig s (true, config);
        onRevisionQueries (s, { revisionQueryMessage }, [&c] (int) { return c.replies; });
        s.start();

        ASSERT_TRUE (s.runToEnd());
        testsupport::drain (2);

        EXPECT_EQ (s.revisionQueries(), std::vector<int> { revisionQueryMessage });
        EXPECT_EQ (s.verdicts(), juce::StringArray { c.succeeds ? success : failure });
        EXPECT_EQ (s.controller.getResult(), c.succeeds ? 0 : -1);
    }
}

TEST (HostileInput, ALateReplyNeverAnswersTheNextQuery)
{
    // The first query's reply comes exactly at the look after the last poll, carrying the
    // right revision; it stays in the link's buffer. The user tries again, and this time the
    // pedal says nothing: the late reply must not pass for an answer.
    emulator::PedalConfig config;
    config.faults.ignoresRevisionQuery = true;
    UpdateRig s (false, config);
    constexpr int secondQuery = revisionQueryMessage + 382; // the stream again, an identify request, the query
    onRevisionQueries (s, { revisionQueryMessage, secondQuery }, [] (int query) {
        return query == 0 ? std::vector<Scripted> { { 200, revisionReply (739) } } : std::vector<Scripted> {};
    });
    s.start();

    ASSERT_TRUE (s.pressUpdateWhenEnabled());
    ASSERT_TRUE (s.runToVerdicts (1));
    EXPECT_EQ (s.verdicts(), juce::StringArray { failure });
    EXPECT_GT (s.link.bufferedReplySize(), 0) << "the late reply arrived after the wait";

    ASSERT_TRUE (s.pressUpdateWhenEnabled());
    ASSERT_TRUE (s.runToVerdicts (2));
    testsupport::drain (2);

    EXPECT_EQ (s.revisionQueries(), (std::vector<int> { revisionQueryMessage, secondQuery }));
    EXPECT_EQ (s.verdicts(), (juce::StringArray { failure, failure }));
    EXPECT_EQ (s.controller.getResult(), -1);
}
