#include "emulator/PedalEmulator.h"
#include "midi/Midi.h"
#include "midi/SysexProtocol.h"
#include "virtualmidi/RealTimeScheduler.h"
#include "virtualmidi/TestRig.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testrig;
using emulator::PedalConfig;
using emulator::PedalEmulator;
using Sides = virtualmidi::VirtualMidiBus::Sides;

namespace
{
    constexpr int model = 0x1A;
    // The data bytes of the pedal's reply when it runs revision 739.
    const char* const revisionReplyData = "00 4B 6E 00 1A 03 40 63 02 00 00";

    /** The link over virtual ports in virtual time; the test adds the devices. */
    struct LinkRig : Rig
    {
        PedalEmulator& addPedal (PedalConfig config = {})
        {
            pedals.push_back (std::make_unique<PedalEmulator> (bus, clock, std::move (config)));
            return *pedals.back();
        }

        /** A device of equal-named ports that answers the identify request on `replyOn`. */
        void answerIdentifyFrom (int outputEndpoint, int replyOn)
        {
            bus.setReceiver (outputEndpoint, [this, replyOn] (const juce::MidiMessage& m) {
                if (hex (m) == "F0 00 4B 6E 00 1A 00 F7")
                    bus.sendFromDevice (replyOn, message (bytes ("F0 00 4B 6E 00 1A 01 F7")));
            });
        }

        juce::String deviceName()
        {
            juce::String name = "unset";
            link.getDeviceName (name);
            return name;
        }

        /** The sleeps since the last call. */
        std::vector<int> newSleeps()
        {
            const auto all = clock.sleepLengths();
            std::vector<int> fresh (all.begin() + (long)seen, all.end());
            seen = all.size();
            return fresh;
        }

        struct Outcome
        {
            bool foundFirst = false, foundAgain = false, answered = false;
            juce::String nameAgain;
            int revision = -1;
        };

        /** What the transfer does with the link in an unattended run: the update begin, the
            rest 40 ms apart, a pause for the restart, a new search, the revision query. */
        Outcome runUpdate()
        {
            Outcome o;
            o.foundFirst = link.findDevice (model);

            if (! o.foundFirst)
                return o;

            const auto stream = updateStream();
            link.send (stream.front());

            for (size_t i = 1; i < stream.size(); ++i)
            {
                link.send (stream[i]);
                clock.sleep (40);
            }

            clock.sleep (2500);
            link.close();
            o.foundAgain = link.findDevice (model);
            o.nameAgain = deviceName();

            Bytes reply;
            o.answered = o.foundAgain && link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20);

            if (o.answered)
                midi::protocol::unpackRevision (reply, o.revision);

            return o;
        }

        std::vector<std::unique_ptr<PedalEmulator>> pedals;
        midi::Midi link { bus, clock };
        size_t seen = 0;
    };

    std::vector<int> times (int n, int ms) { return std::vector<int> ((size_t)n, ms); }

    PedalConfig answeringAfter (double revisionDelayMs)
    {
        PedalConfig c;
        c.revisionDelayMs = revisionDelayMs;
        c.oldRevision = 739; // the pedal in boot mode then gives revisionReplyData
        return c;
    }
}

TEST (MidiLink, PairsPortsOnlyByExactlyEqualNamesTryingEachPairOnce)
{
    struct Row
    {
        const char* what;
        std::function<void (LinkRig&)> setUp;
        bool found;
        int tries; // identify waits of 300 ms
    };

    const std::vector<Row> rows {
        { "no ports at all", [] (LinkRig&) {}, false, 0 },
        { "no output ports",
          [] (LinkRig& r) { r.bus.addEndpoint ("Bramblet boot", Sides::inputOnly); },
          false, 0 },
        { "an input and an output of two devices, equal names",
          [] (LinkRig& r) {
              const auto in = r.bus.addEndpoint ("Bramblet boot", Sides::inputOnly);
              r.answerIdentifyFrom (r.bus.addEndpoint ("Bramblet boot", Sides::outputOnly), in);
          },
          true, 1 },
        { "names that differ only in case",
          [] (LinkRig& r) {
              const auto in = r.bus.addEndpoint ("Bramblet Boot", Sides::inputOnly);
              r.answerIdentifyFrom (r.bus.addEndpoint ("Bramblet boot", Sides::outputOnly), in);
          },
          false, 0 },
        { "the pedal", [] (LinkRig& r) { r.addPedal(); }, true, 1 },
        { "the pedal before a silent namesake",
          [] (LinkRig& r) {
              r.addPedal();
              r.bus.addEndpoint ("Bramblet boot");
          },
          true, 1 },
        { "the pedal after a silent namesake",
          [] (LinkRig& r) {
              r.bus.addEndpoint ("Bramblet boot");
              r.addPedal();
          },
          true, 4 },
        { "two silent namesakes",
          [] (LinkRig& r) {
              r.bus.addEndpoint ("Bramblet boot");
              r.bus.addEndpoint ("Bramblet boot");
          },
          false, 4 },
        { "a pedal answering just as the wait ends",
          [] (LinkRig& r) {
              PedalConfig c;
              c.identifyDelayMs = 300;
              r.addPedal (c);
          },
          true, 1 },
        { "a pedal answering late",
          [] (LinkRig& r) {
              PedalConfig c;
              c.faults.lateIdentifyMs = 301;
              r.addPedal (c);
          },
          false, 1 },
        { "a pedal of another model",
          [] (LinkRig& r) {
              PedalConfig c;
              c.modelId = 0x1B;
              r.addPedal (c);
          },
          false, 1 },
    };

    for (const auto& row : rows)
    {
        LinkRig r;
        row.setUp (r);

        EXPECT_EQ (r.link.findDevice (model), row.found) << row.what;
        EXPECT_EQ (r.clock.sleepLengths(), times (row.tries, 300)) << row.what;
        EXPECT_EQ (r.deviceName(), row.found ? "Bramblet boot" : "") << row.what;
        EXPECT_EQ (r.bus.openPorts(), row.found ? 2 : 0) << row.what << ": only the pair found stays open";
    }
}

TEST (MidiLink, OpensAndStartsTheInputBeforeItSendsOnTheOutput)
{
    LinkRig r;
    const auto silent = juce::String (r.bus.addEndpoint ("Bramblet boot"));
    const auto pedal = juce::String (r.addPedal().endpoint());

    ASSERT_TRUE (r.link.findDevice (model));

    std::vector<juce::String> expected;

    for (const auto& [in, out] : { std::pair { silent, silent }, { silent, pedal }, { pedal, silent }, { pedal, pedal } })
    {
        for (auto s : { "open in " + in, "start in " + in, "open out " + out, "send out " + out })
            expected.push_back (s);

        if (in != pedal || out != pedal)
            for (auto s : { "close in " + in, "close out " + out })
                expected.push_back (s);
    }

    EXPECT_EQ (r.bus.portLog(), expected);

    // Two pairs reach the pedal's output: (silent in, pedal out), which cannot hear its answer,
    // and (pedal in, pedal out), each after the 300 ms before it.
    const auto heard = r.pedals[0]->received();
    ASSERT_EQ (heard.size(), 2u);
    EXPECT_EQ (hex (heard[0].bytes), "F0 00 4B 6E 00 1A 00 F7");
    EXPECT_EQ (heard[0].time, 300.0);
    EXPECT_EQ (heard[1].time, 900.0);
}

TEST (MidiLink, DeviceNameIsThatOfTheOpenPairUntilClosed)
{
    LinkRig r;
    r.addPedal();
    EXPECT_EQ (r.deviceName(), "");

    ASSERT_TRUE (r.link.findDevice (model));
    EXPECT_EQ (r.deviceName(), "Bramblet boot");

    r.link.close();
    EXPECT_EQ (r.deviceName(), "");
    EXPECT_EQ (r.bus.openPorts(), 0);
    EXPECT_FALSE (r.link.send (bytes ("F0 F7")));

    r.link.close(); // closing a closed link is harmless
    EXPECT_EQ (r.deviceName(), "");

    r.pedals[0]->unplug();
    EXPECT_FALSE (r.link.findDevice (model));
    EXPECT_EQ (r.deviceName(), "");
}

TEST (MidiLink, SendPutsOneFramedMessageOnTheWire)
{
    LinkRig r;
    auto& pedal = r.addPedal();
    Bytes untouched = bytes ("AA");

    // Without an open pair nothing goes out and nothing changes.
    EXPECT_FALSE (r.link.send (bytes ("F0 00 4B 6E 00 1A 03 F7")));
    EXPECT_FALSE (r.link.sendAndReceive (bytes ("00 4B 6E 00 1A 03"), untouched, 20));
    EXPECT_EQ (hex (untouched), "AA");
    EXPECT_TRUE (pedal.received().empty());
    EXPECT_TRUE (r.clock.sleepLengths().empty());

    ASSERT_TRUE (r.link.findDevice (model));

    const struct
    {
        const char* sent;
        const char* wire;
    } cases[] = {
        { "F0 00 4B 6E 00 1A 51 01 F7", "F0 00 4B 6E 00 1A 51 01 F7" },
        { "F0 00 4B 6E 00 1A 52 01", "F0 00 4B 6E 00 1A 52 01" },
        { "00 4B 6E 00 1A 03", "F0 00 4B 6E 00 1A 03 F7" },
        { "", "F0 F7" },
    };

    for (const auto& c : cases)
    {
        EXPECT_TRUE (r.link.send (bytes (c.sent)));
        EXPECT_EQ (hex (pedal.received().back().bytes), c.wire) << "sending " << c.sent;
    }
}

TEST (MidiLink, AReplyCountsOnlyWhenSeenBeforeThePollsRunOut)
{
    const struct
    {
        double replyAfterMs;
        bool ok;
        int sleeps;
    } cases[] = {
        { 0, true, 1 }, // even an instant reply is first seen after a sleep
        { 10, true, 1 },
        { 11, true, 2 },
        { 190, true, 19 },
        { 191, false, 20 }, // seen at the look after the twentieth sleep: too late
        { 200, false, 20 },
        { 250, false, 20 },
    };

    for (const auto& c : cases)
    {
        LinkRig r;
        r.addPedal (answeringAfter (c.replyAfterMs));
        ASSERT_TRUE (r.link.findDevice (model));
        r.newSleeps();

        Bytes reply = bytes ("AA");
        EXPECT_EQ (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20), c.ok) << c.replyAfterMs;
        EXPECT_EQ (r.newSleeps(), times (c.sleeps, 10)) << c.replyAfterMs;
        EXPECT_EQ (hex (reply), c.ok ? revisionReplyData : "AA") << c.replyAfterMs;

        // A late reply waits in the buffer until the next wait empties it.
        r.clock.advance (100);
        EXPECT_EQ (r.link.bufferedReplySize(), 11) << c.replyAfterMs;
        EXPECT_FALSE (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 0));
        EXPECT_EQ (r.link.bufferedReplySize(), 0) << c.replyAfterMs;
    }
}

TEST (MidiLink, ZeroPollsSendTheRequestAndFailAtOnce)
{
    LinkRig r;
    auto& pedal = r.addPedal (answeringAfter (0));
    ASSERT_TRUE (r.link.findDevice (model));
    r.newSleeps();

    Bytes reply;
    EXPECT_FALSE (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 0));
    EXPECT_EQ (hex (pedal.received().back().bytes), "F0 00 4B 6E 00 1A 03 F7");
    EXPECT_TRUE (r.newSleeps().empty());
    EXPECT_TRUE (reply.isEmpty());
}

TEST (MidiLink, WhatArrivesDuringAWaitIsFilteredAsAReply)
{
    // The pedal answers after 50 ms; something else arrives after 5 ms.
    const struct
    {
        const char* early;
        int sleeps;
        const char* reply;
    } cases[] = {
        { "F0 00 4B 6E 00 1A 01 7F 7F F7", 5, revisionReplyData }, // an identify reply: kept out
        { "F0 00 4B 6E 00 1B 03 40 63 02 00 00 F7", 5, revisionReplyData },
        { "F0 00 4B 6E 01 1A 03 40 63 02 00 00 F7", 5, revisionReplyData },
        { "F8", 5, revisionReplyData },
        { "90 3C 64", 5, revisionReplyData },
        { "F0 00 4B 6E 00 1A F7", 1, "00 4B 6E 00 1A" }, // the header alone is a reply
        { "F0 00 F7", 1, "00" },
        { "F0 F7", 1, "" }, // a reply without bytes still ends the wait
    };

    for (const auto& c : cases)
    {
        LinkRig r;
        auto& pedal = r.addPedal (answeringAfter (50));
        ASSERT_TRUE (r.link.findDevice (model));
        r.newSleeps();

        r.clock.schedule (5, [&] { r.bus.sendFromDevice (pedal.endpoint(), message (bytes (c.early))); });

        Bytes reply;
        EXPECT_TRUE (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20)) << c.early;
        EXPECT_EQ (r.newSleeps(), times (c.sleeps, 10)) << c.early;
        EXPECT_EQ (hex (reply), c.reply) << c.early;
    }
}

TEST (MidiLink, TwoRepliesInOneWaitFollowOneAnother)
{
    LinkRig r;
    PedalConfig c = answeringAfter (5);
    c.faults.answersTwice = true;
    r.addPedal (c);
    ASSERT_TRUE (r.link.findDevice (model));

    Bytes reply;
    ASSERT_TRUE (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));
    EXPECT_EQ (hex (reply), juce::String (revisionReplyData) + " " + revisionReplyData);

    int revision = 0;
    EXPECT_TRUE (midi::protocol::unpackRevision (reply, revision));
    EXPECT_EQ (revision, 739);
}

TEST (MidiLink, SkipsPairsWhosePortsCannotBeOpened)
{
    const struct
    {
        Sides failing;
        int tries;
        std::vector<juce::String> firstPair;
    } cases[] = {
        { Sides::duplex, 1, { "open in 1 failed" } },
        // The input opened first is closed again when its output fails.
        { Sides::outputOnly, 2, { "open in 1", "start in 1", "open out 1 failed", "close in 1" } },
        // Input 1 never opens; output 1 is reached from input 2, which cannot hear pedal 1.
        { Sides::inputOnly, 2, { "open in 1 failed" } },
    };

    for (const auto& c : cases)
    {
        LinkRig r;
        auto& held = r.addPedal();
        auto& free = r.addPedal();
        r.bus.setOpenFails (held.endpoint(), c.failing);

        EXPECT_TRUE (r.link.findDevice (model));
        EXPECT_EQ (r.clock.sleepLengths(), times (c.tries, 300));
        EXPECT_EQ (r.bus.openPorts(), 2);

        const auto log = r.bus.portLog();
        EXPECT_EQ (std::vector<juce::String> (log.begin(), log.begin() + (long)c.firstPair.size()), c.firstPair);

        // The pair open is the free pedal's.
        r.link.send (bytes ("00 4B 6E 00 1A 03"));
        EXPECT_EQ (hex (free.received().back().bytes), "F0 00 4B 6E 00 1A 03 F7");
    }

    LinkRig alone;
    alone.bus.setOpenFails (alone.addPedal().endpoint());
    EXPECT_FALSE (alone.link.findDevice (model));
    EXPECT_TRUE (alone.clock.sleepLengths().empty());
    EXPECT_EQ (alone.bus.openPorts(), 0);
}

TEST (MidiLink, ALoopbackThatEchoesTheIdentifyRequestIsNotThePedal)
{
    LinkRig r;
    r.bus.addLoopback ("Midi Through Port-0");
    EXPECT_FALSE (r.link.findDevice (model));
    EXPECT_EQ (r.clock.sleepLengths(), times (1, 300));

    // The echo passes the filter as a reply; the next wait throws it away.
    EXPECT_EQ (r.link.bufferedReplySize(), 6);

    r.addPedal();
    EXPECT_TRUE (r.link.findDevice (model));
    EXPECT_EQ (r.deviceName(), "Bramblet boot");
}

TEST (MidiLink, ADeviceThatKeepsTalkingCannotGrowTheReplyBuffer)
{
    LinkRig r;
    auto& pedal = r.addPedal (answeringAfter (5));
    ASSERT_TRUE (r.link.findDevice (model));

    // A stream of header-matching messages, as a pedal echoing the update would send.
    for (const auto& m : updateStream (20))
        r.bus.sendFromDevice (pedal.endpoint(), message (m));

    r.bus.waitUntilIdle();
    EXPECT_EQ (r.link.bufferedReplySize(), midi::Midi::maxReplyBytes);

    Bytes reply;
    ASSERT_TRUE (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));
    EXPECT_EQ (hex (reply), revisionReplyData);

    // The same flood right behind the reply, within the wait: the reply comes first and whole.
    r.clock.schedule (6, [&] {
        for (const auto& m : updateStream (20))
            r.bus.sendFromDevice (pedal.endpoint(), message (m));
    });

    ASSERT_TRUE (r.link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));
    EXPECT_EQ (reply.size(), midi::Midi::maxReplyBytes);
    EXPECT_EQ (hex (Bytes (reply.getRawDataPointer(), 11)), revisionReplyData);
}

TEST (MidiLink, RepliesAreHandedOverWholeWhileTheInputThreadAppends)
{
    // Real concurrency: the waiting thread polls without pause while the device floods
    // replies from another thread, so the copy races with the appending.
    struct YieldingClock final : midi::Clock
    {
        explicit YieldingClock (virtualmidi::VirtualMidiBus& b) : bus (b) {}

        double now() override { return 0; }

        // The identify wait lasts until the answer is in; a poll only yields.
        void sleep (int ms) override
        {
            if (ms >= midi::Midi::identifyWaitMs)
                bus.waitUntilIdle();
            else
                std::this_thread::yield();
        }

        bool sleepUnlessExit (int, juce::Thread&) override { return true; }

        virtualmidi::VirtualMidiBus& bus;
    };

    virtualmidi::VirtualMidiBus bus;
    YieldingClock clock (bus);
    const auto reply = bytes ("F0 00 4B 6E 00 1A 03 40 63 02 00 00 F7");
    const auto data = bytes (revisionReplyData);
    const auto device = bus.addEndpoint ("Bramblet boot");

    bus.setReceiver (device, [&] (const juce::MidiMessage& m) {
        if (hex (m) == "F0 00 4B 6E 00 1A 00 F7")
            bus.sendFromDevice (device, message (bytes ("F0 00 4B 6E 00 1A 01 F7")));
    });

    {
        midi::Midi link (bus, clock);

        ASSERT_TRUE (link.findDevice (model));

        std::atomic<bool> done { false };
        std::thread flood ([&] {
            for (int i = 0; i < 3000; ++i)
                bus.sendFromDevice (device, message (reply));

            done = true;
        });

        int handedOver = 0;

        while (! done)
        {
            Bytes got;

            if (! link.sendAndReceive (bytes ("00 4B 6E 00 1A 7E"), got, 100000))
                continue;

            ++handedOver;
            const int whole = got.size() / data.size();

            for (int k = 0; k < whole; ++k)
                ASSERT_EQ (hex (Bytes (got.getRawDataPointer() + k * data.size(), data.size())), hex (data));

            // Only a full buffer may end in a part of a reply.
            if (got.size() % data.size() != 0)
            {
                ASSERT_EQ (got.size(), midi::Midi::maxReplyBytes);
            }
        }

        flood.join();
        bus.waitUntilIdle();
        EXPECT_GT (handedOver, 0);
    }
}

TEST (MidiLink, CarriesAWholeUpdateAndFindsTheRestartedPedal)
{
    LinkRig r;
    auto& pedal = r.addPedal();

    const auto o = r.runUpdate();
    EXPECT_TRUE (o.foundFirst);
    EXPECT_TRUE (o.foundAgain);
    EXPECT_EQ (o.nameAgain, "Bramblet");
    EXPECT_TRUE (o.answered);
    EXPECT_EQ (o.revision, 739);

    const auto v = pedal.verdict();
    EXPECT_TRUE (v.complete) << v.firstError;
    EXPECT_TRUE (v.paced) << v.firstError;

    Bytes sent;

    for (const auto& m : updateStream())
        sent.addArray (m);

    EXPECT_TRUE (pedal.streamBytes() == sent);

    auto expected = times (1, 300);

    for (auto s : { times (379, 40), times (1, 2500), times (1, 300), times (1, 10) })
        expected.insert (expected.end(), s.begin(), s.end());

    EXPECT_EQ (r.clock.sleepLengths(), expected);
}

TEST (MidiLink, NoiseFromOtherDevicesAndMessagesChangesNothing)
{
    auto run = [] (bool noisy) {
        LinkRig r;
        PedalConfig c;

        if (noisy)
        {
            c.faults.noiseIntervalMs = 3;
            c.faults.noiseBeforeUpdate = true;
            c.faults.noiseAfterRestart = true;
            c.faults.noise = emulator::foreignNoise();
        }

        auto& pedal = r.addPedal (c);
        const auto o = r.runUpdate();
        EXPECT_TRUE (pedal.verdict().complete);
        return std::make_pair (o.revision, r.clock.sleepLengths());
    };

    const auto quiet = run (false);
    const auto noisy = run (true);
    EXPECT_EQ (quiet.first, 739);
    EXPECT_EQ (noisy.first, 739);
    EXPECT_EQ (noisy.second, quiet.second);
}

TEST (MidiLinkInRealTime, FindsThePedalAndReadsItsRevision)
{
    virtualmidi::VirtualMidiBus bus;
    virtualmidi::RealTimeScheduler scheduler;
    PedalEmulator pedal (bus, scheduler);
    midi::Midi link (bus, midi::Clock::system());

    ASSERT_TRUE (link.findDevice (model));

    Bytes reply;
    ASSERT_TRUE (link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));

    int revision = 0;
    EXPECT_TRUE (midi::protocol::unpackRevision (reply, revision));
    EXPECT_EQ (revision, 700);
    link.close();
}

TEST (MidiLinkOnThisComputer, ComesUpClosedOverTheSystemPorts)
{
    midi::Midi link;
    juce::String name = "unset";
    link.getDeviceName (name);
    EXPECT_EQ (name, "");

    Bytes reply;
    EXPECT_FALSE (link.send (bytes ("F0 F7")));
    EXPECT_FALSE (link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));

    // This machine may have no MIDI ports at all; then the search is over at once.
    const bool anyPair = ! juce::MidiInput::getAvailableDevices().isEmpty() && ! juce::MidiOutput::getAvailableDevices().isEmpty();

    if (! anyPair)
    {
        EXPECT_FALSE (link.findDevice (model));
    }
}
