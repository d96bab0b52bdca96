#include "emulator/PedalEmulator.h"
#include "virtualmidi/TestRig.h"

#include <gtest/gtest.h>

using namespace testrig;
using emulator::PedalConfig;
using emulator::PedalEmulator;
using emulator::PedalFaults;

namespace
{
    const char* const identifyRequest = "F0 00 4B 6E 00 1A 00 F7";
    const char* const identifyReply = "F0 00 4B 6E 00 1A 01 F7";
    const char* const revisionQuery = "F0 00 4B 6E 00 1A 03 F7";
    const char* const reply739 = "F0 00 4B 6E 00 1A 03 40 63 02 00 00 F7";
    const char* const reply700 = "F0 00 4B 6E 00 1A 03 40 3C 02 00 00 F7";

    /** Plays the updater directly on the bus: one port pair on the pedal's current device,
        and what comes back, with the virtual time it arrived at. */
    struct Probe final : juce::MidiInputCallback
    {
        explicit Probe (Rig& r) : rig (r) {}

        void open (int endpoint)
        {
            in = rig.bus.openInput (juce::String (endpoint), this);
            out = rig.bus.openOutput (juce::String (endpoint));
            ASSERT_TRUE (in != nullptr && out != nullptr);
            in->start();
        }

        void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& m) override
        {
            const std::lock_guard<std::mutex> l (lock);
            heard.push_back ({ rig.clock.now(), hex (m) });
        }

        void send (const Bytes& b) { out->sendMessageNow (message (b)); }

        /** What was heard since the last call, as "time:bytes". */
        juce::StringArray take()
        {
            const std::lock_guard<std::mutex> l (lock);
            juce::StringArray s;

            for (const auto& [time, text] : heard)
                s.add (juce::String (time) + ":" + text);

            heard.clear();
            return s;
        }

        Rig& rig;
        std::unique_ptr<midi::InputPort> in;
        std::unique_ptr<midi::OutputPort> out;
        std::mutex lock;
        std::vector<std::pair<double, juce::String>> heard;
    };

    struct PedalRig : Rig
    {
        explicit PedalRig (PedalConfig config = {}) : pedal (bus, clock, std::move (config))
        {
            probe.open (pedal.endpoint());
        }

        /** Sends each message of the stream and then waits the gap given for it (40 ms
            where none is given, nothing after the begin), as an unattended update does. */
        void sendStream (const std::vector<Bytes>& stream, std::map<size_t, double> gaps = {})
        {
            for (size_t i = 0; i < stream.size(); ++i)
            {
                probe.send (stream[i]);
                const auto g = gaps.find (i);
                clock.advance (g != gaps.end() ? g->second : (i == 0 ? 0.0 : 40.0));
            }
        }

        juce::StringArray names()
        {
            juce::StringArray s;

            for (const auto& p : bus.getInputs())
                s.add (p.name);

            return s;
        }

        PedalEmulator pedal;
        Probe probe { *this };
    };
}

TEST (PedalEmulator, InBootModeAnswersTheIdentifyRequestAndTheRevisionQuery)
{
    PedalRig r;
    EXPECT_EQ (r.names().joinIntoString ("|"), "Bramblet boot");
    EXPECT_EQ (r.bus.getOutputs()[0].name, "Bramblet boot");
    EXPECT_EQ (r.pedal.phase(), PedalEmulator::Phase::boot);

    r.probe.send (bytes (identifyRequest));
    r.probe.send (bytes ("F0 00 4B 6E 00 1B 00 F7")); // another model's
    r.clock.advance (100);
    r.probe.send (bytes (revisionQuery));
    r.clock.advance (100);

    EXPECT_EQ (r.probe.take().joinIntoString ("|"), juce::String ("5:") + identifyReply + "|105:" + reply700);

    const auto received = r.pedal.received();
    ASSERT_EQ (received.size(), 3u);
    EXPECT_EQ (received[0].time, 0.0);
    EXPECT_EQ (hex (received[1].bytes), "F0 00 4B 6E 00 1B 00 F7");
    EXPECT_EQ (received[2].time, 100.0);

    PedalConfig c;
    c.bootName = "Bramblet Mk2 boot";
    c.modelId = 0x1B;
    c.identifyDelayMs = 40;
    PedalRig other (c);
    other.probe.send (bytes ("F0 00 4B 6E 00 1B 00 F7"));
    other.clock.advance (100);
    EXPECT_EQ (other.names().joinIntoString ("|"), "Bramblet Mk2 boot");
    EXPECT_EQ (other.probe.take().joinIntoString ("|"), "40:F0 00 4B 6E 00 1B 01 F7");
}

TEST (PedalEmulator, AWellPacedCompleteStreamRestartsItIntoTheNewRevision)
{
    PedalRig r;
    const auto stream = updateStream();
    r.sendStream (stream, { { stream.size() - 1, 0.0 } });

    const auto v = r.pedal.verdict();
    EXPECT_TRUE (v.complete);
    EXPECT_TRUE (v.paced);
    EXPECT_EQ (v.dataMessages, 378);
    EXPECT_EQ (v.firstError, "");

    Bytes all;

    for (const auto& m : stream)
        all.addArray (m);

    EXPECT_TRUE (r.pedal.streamBytes() == all);

    // Gone at once after the update end, back 1500 ms later without "boot".
    const double end = r.clock.now();
    EXPECT_EQ (end, 378 * 40.0);
    EXPECT_EQ (r.pedal.phase(), PedalEmulator::Phase::restarting);
    EXPECT_TRUE (r.names().isEmpty());
    r.clock.advance (1499);
    EXPECT_TRUE (r.names().isEmpty());
    r.clock.advance (1);
    EXPECT_EQ (r.names().joinIntoString ("|"), "Bramblet");
    EXPECT_EQ (r.pedal.phase(), PedalEmulator::Phase::running);

    // The old ports are dead; the restarted pedal answers on its new ones.
    r.probe.send (bytes (revisionQuery));
    r.clock.advance (100);
    EXPECT_TRUE (r.probe.take().isEmpty());

    r.probe.open (r.pedal.endpoint());
    r.probe.send (bytes (identifyRequest));
    r.probe.send (bytes (revisionQuery));
    r.clock.advance (100);
    EXPECT_EQ (r.probe.take().joinIntoString ("|"), juce::String ("16725:") + identifyReply + "|16725:" + reply739);
    EXPECT_EQ (r.pedal.revision(), 739);
}

TEST (PedalEmulator, ChecksTheStreamsOrderFormAndPacing)
{
    struct Row
    {
        const char* what;
        std::function<void (std::vector<Bytes>&, std::map<size_t, double>&, PedalConfig&)> change;
        bool complete, paced;
        const char* error; // a part of the first error
        bool restarts = true;
    };

    const auto insertAt = [] (std::vector<Bytes>& s, size_t i, Bytes b) { s.insert (s.begin() + (long)i, std::move (b)); };

    const std::vector<Row> rows {
        { "well paced", [] (auto&, auto&, auto&) {}, true, true, "" },
        { "flash erase time given after the begin",
          [] (auto&, auto& gaps, auto& c) {
              c.eraseTimeMs = 20000;
              gaps[0] = 20000;
          },
          true, true, "" },
        { "data faster than the flash writes",
          [] (auto&, auto& gaps, auto&) {
              for (size_t i = 1; i < 378; ++i)
                  gaps[i] = 20;
          },
          true, false, "update data 2 came 20.0 ms after the one before; a flash write takes 30.0 ms" },
        { "one gap a little short",
          [] (auto&, auto& gaps, auto&) { gaps[199] = 29; },
          true, false, "update data 200 came 29.0 ms" },
        { "the end too soon after the last data",
          [] (auto&, auto& gaps, auto&) { gaps[378] = 10; },
          true, false, "the update end came 10.0 ms after the last update data" },
        { "no time to erase the flash",
          [] (auto&, auto&, auto& c) { c.eraseTimeMs = 20000; },
          true, false, "the first update data came 0.0 ms after the update begin; erasing the flash takes 20000.0 ms" },
        { "a data message missing",
          [] (auto& s, auto&, auto&) { s.erase (s.begin() + 100); },
          false, true, "update end after 377 of 378 update data messages" },
        { "a data message too many",
          [=] (auto& s, auto&, auto&) { insertAt (s, 100, s[100]); },
          false, true, "more than 378 update data messages" },
        { "a second update begin",
          [=] (auto& s, auto&, auto&) { insertAt (s, 10, s[0]); },
          false, true, "a second update begin" },
        { "no update begin",
          [] (auto& s, auto&, auto&) { s.erase (s.begin()); },
          false, true, "update data before the update begin", false },
        { "a data message for another model",
          [] (auto& s, auto&, auto&) { s[5].set (5, 0x1B); },
          false, true, "message 6 is for model 1B" },
        { "another maker's header",
          [] (auto& s, auto&, auto&) { s[3].set (2, 0x4C); },
          false, true, "message 4 has a wrong header" },
        { "a data message a byte short",
          [] (auto& s, auto&, auto&) { s[7].remove (100); },
          false, true, "unexpected message: command 52, 598 bytes" },
        { "a byte above 7F in the payload",
          [] (auto& s, auto&, auto&) { s[9].set (50, 0x80); },
          false, true, "message 10 has a byte above 7F" },
        { "a message without its F7",
          [] (auto& s, auto&, auto&) { s[4].removeLast(); },
          false, true, "message 5 is not a complete SysEx message" },
        { "an update end with another payload",
          [] (auto& s, auto&, auto&) { s.back().set (7, 0x02); },
          false, true, "unexpected message: command 52, 9 bytes", false },
    };

    for (const auto& row : rows)
    {
        auto stream = updateStream();
        std::map<size_t, double> gaps;
        PedalConfig config;
        row.change (stream, gaps, config);

        PedalRig r (config);
        r.sendStream (stream, gaps);
        r.clock.advance (1500);

        const auto v = r.pedal.verdict();
        EXPECT_EQ (v.complete, row.complete) << row.what;
        EXPECT_EQ (v.paced, row.paced) << row.what;
        EXPECT_TRUE (row.error[0] == 0 ? v.firstError.isEmpty() : v.firstError.contains (row.error))
            << row.what << ": " << v.firstError;

        EXPECT_EQ (r.names().joinIntoString ("|"), row.restarts ? "Bramblet" : "Bramblet boot") << row.what;
        EXPECT_EQ (r.pedal.revision(), row.complete && row.paced ? 739 : 700) << row.what;
    }
}

TEST (PedalEmulator, EachFaultSwitchChangesWhatTheUpdaterSees)
{
    struct Row
    {
        const char* what;
        std::function<void (PedalFaults&)> set;
        const char* identify; // heard after an identify request at 0
        bool comesBack;
        const char* revision = ""; // heard after a revision query to the restarted pedal
    };

    const std::vector<Row> rows {
        { "none", [] (auto&) {}, "5:F0 00 4B 6E 00 1A 01 F7", true, reply739 },
        { "never answers identify", [] (auto& f) { f.neverAnswersIdentify = true; }, "", true, reply739 },
        { "answers identify late", [] (auto& f) { f.lateIdentifyMs = 400; }, "400:F0 00 4B 6E 00 1A 01 F7", true, reply739 },
        { "never comes back", [] (auto& f) { f.neverComesBack = true; }, "5:F0 00 4B 6E 00 1A 01 F7", false },
        { "ignores the revision query", [] (auto& f) { f.ignoresRevisionQuery = true; }, "5:F0 00 4B 6E 00 1A 01 F7", true, "" },
        { "a wrong revision", [] (auto& f) { f.wrongRevision = 738; }, "5:F0 00 4B 6E 00 1A 01 F7", true, "F0 00 4B 6E 00 1A 03 40 62 02 00 00 F7" },
        { "a too-short revision reply", [] (auto& f) { f.shortRevisionReply = true; }, "5:F0 00 4B 6E 00 1A 01 F7", true, "F0 00 4B 6E 00 1A 03 40 63 02 00 F7" },
        { "every answer twice",
          [] (auto& f) { f.answersTwice = true; },
          "5:F0 00 4B 6E 00 1A 01 F7|5:F0 00 4B 6E 00 1A 01 F7",
          true,
          "F0 00 4B 6E 00 1A 03 40 63 02 00 00 F7|F0 00 4B 6E 00 1A 03 40 63 02 00 00 F7" },
    };

    for (const auto& row : rows)
    {
        PedalConfig config;
        row.set (config.faults);
        PedalRig r (config);

        r.probe.send (bytes (identifyRequest));
        r.clock.advance (1000);
        EXPECT_EQ (r.probe.take().joinIntoString ("|"), row.identify) << row.what;

        r.sendStream (updateStream());
        r.clock.advance (1500);
        EXPECT_EQ (r.names().joinIntoString ("|"), row.comesBack ? "Bramblet" : "") << row.what;

        if (! row.comesBack)
        {
            r.clock.advance (60000);
            EXPECT_TRUE (r.names().isEmpty()) << row.what;
            continue;
        }

        r.probe.open (r.pedal.endpoint());
        r.probe.send (bytes (revisionQuery));
        r.clock.advance (1000);

        juce::StringArray heard;

        for (const auto& h : r.probe.take())
            heard.add (h.fromFirstOccurrenceOf (":", false, false));

        EXPECT_EQ (heard.joinIntoString ("|"), row.revision) << row.what;
    }
}

TEST (PedalEmulator, MakesNoiseAtItsIntervalInThePhasesAskedFor)
{
    const struct
    {
        bool before, after;
        int heardBefore, heardDuring, heardAfter;
    } cases[] = {
        { false, false, 0, 10, 0 },
        { true, false, 10, 10, 0 },
        { false, true, 0, 10, 10 },
    };

    for (const auto& c : cases)
    {
        PedalConfig config;
        config.faults.noiseIntervalMs = 10;
        config.faults.noiseBeforeUpdate = c.before;
        config.faults.noiseAfterRestart = c.after;
        config.faults.noise = { juce::MidiMessage::midiClock(), juce::MidiMessage (0xFE) };
        PedalRig r (config);

        r.clock.advance (100);
        EXPECT_EQ (r.probe.take().size(), c.heardBefore);

        // Noise in the update: at 110, 120, ... 200, alternating through the list.
        const auto stream = updateStream();
        r.probe.send (stream.front());
        r.clock.advance (105);
        const auto during = r.probe.take();
        EXPECT_EQ (during.size(), c.heardDuring);
        EXPECT_EQ (during[0], "110:F8");
        EXPECT_EQ (during[1], "120:FE");

        r.sendStream ({ stream.begin() + 1, stream.end() });
        r.clock.advance (1500);
        r.probe.take();
        r.probe.open (r.pedal.endpoint());
        r.clock.advance (100);
        EXPECT_EQ (r.probe.take().size(), c.heardAfter);
    }

    // By default the noise holds, besides foreign traffic, an empty SysEx message.
    EXPECT_EQ (hex (emulator::defaultNoise().back()), "F0 F7");
    EXPECT_EQ (emulator::defaultNoise().size(), emulator::foreignNoise().size() + 1);
}

TEST (PedalEmulator, AHookAfterTheKthMessageCanPullThePlug)
{
    PedalRig r;
    int fired = 0;
    r.pedal.afterMessage (3, [&] {
        ++fired;
        r.pedal.unplug();
    });

    r.sendStream (updateStream (10));
    r.clock.advance (5000);

    EXPECT_EQ (fired, 1);
    EXPECT_EQ (r.pedal.received().size(), 3u);
    EXPECT_EQ (r.pedal.phase(), PedalEmulator::Phase::unplugged);
    EXPECT_TRUE (r.names().isEmpty());
}

TEST (PedalEmulator, WhatItLeftScheduledDoesNothingOnceItIsGone)
{
    virtualmidi::VirtualMidiBus bus;
    virtualmidi::VirtualClock clock;
    clock.setSettle ([&] { bus.waitUntilIdle(); });

    PedalConfig config;
    config.faults.noiseIntervalMs = 10;
    config.faults.noiseBeforeUpdate = true;
    auto pedal = std::make_unique<PedalEmulator> (bus, clock, config);
    const auto endpoint = pedal->endpoint();

    {
        auto out = bus.openOutput (juce::String (endpoint));
        out->sendMessageNow (message (bytes (identifyRequest)));
    }

    EXPECT_GT (clock.pendingEvents(), 0);
    pedal = nullptr;
    EXPECT_TRUE (bus.getInputs().isEmpty());
    clock.advance (1000);
    EXPECT_EQ (clock.pendingEvents(), 0);
}
