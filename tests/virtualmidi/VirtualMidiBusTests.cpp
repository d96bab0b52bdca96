#include "virtualmidi/TestRig.h"
#include "virtualmidi/VirtualMidiBus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace testrig;
using virtualmidi::VirtualMidiBus;
using Sides = VirtualMidiBus::Sides;

namespace
{
    juce::String listing (const juce::Array<midi::PortInfo>& ports)
    {
        juce::StringArray s;

        for (const auto& p : ports)
            s.add (p.name + "=" + p.identifier);

        return s.joinIntoString (", ");
    }

    /** An input callback that keeps what it hears. */
    struct Heard final : juce::MidiInputCallback
    {
        void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& m) override
        {
            const std::lock_guard<std::mutex> l (lock);
            messages.add (hex (m));
            threads.insert (std::this_thread::get_id());
        }

        juce::StringArray all() const
        {
            const std::lock_guard<std::mutex> l (lock);
            return messages;
        }

        int count() const { return all().size(); }

        mutable std::mutex lock;
        juce::StringArray messages;
        std::set<std::thread::id> threads;
    };

    juce::MidiMessage numbered (int i) { return juce::MidiMessage::controllerEvent (1, i % 128, (i / 128) % 128); }
}

TEST (VirtualMidiBus, ListsDevicesInTheOrderAddedUnderTheirSides)
{
    VirtualMidiBus bus;
    const auto a = bus.addEndpoint ("A");
    const auto b = bus.addEndpoint ("B", Sides::inputOnly);
    bus.addEndpoint ("C", Sides::outputOnly);
    bus.addLoopback ("Midi Through Port-0");

    EXPECT_EQ (listing (bus.getInputs()), "A=1, B=2, Midi Through Port-0=4");
    EXPECT_EQ (listing (bus.getOutputs()), "A=1, C=3, Midi Through Port-0=4");

    // A renamed device keeps its place and identifier; an unplugged one leaves the lists and
    // comes back as a new device at the end.
    bus.renameEndpoint (b, "B2");
    bus.removeEndpoint (a);
    bus.addEndpoint ("A");
    EXPECT_EQ (listing (bus.getInputs()), "B2=2, Midi Through Port-0=4, A=5");
    EXPECT_EQ (listing (bus.getOutputs()), "C=3, Midi Through Port-0=4, A=5");
}

TEST (VirtualMidiBus, WhatTheLinkSendsReachesTheDeviceBeforeTheSendReturns)
{
    VirtualMidiBus bus;
    const auto device = bus.addEndpoint ("Pedal");
    juce::StringArray received;
    std::thread::id receiverThread;

    bus.setReceiver (device, [&] (const juce::MidiMessage& m) {
        received.add (hex (m));
        receiverThread = std::this_thread::get_id();
    });

    auto out = bus.openOutput (juce::String (device));
    ASSERT_NE (out, nullptr);
    out->sendMessageNow (message (bytes ("F0 00 4B 6E 00 1A 00 F7")));

    EXPECT_EQ (received.joinIntoString ("|"), "F0 00 4B 6E 00 1A 00 F7");
    EXPECT_EQ (receiverThread, std::this_thread::get_id());

    // A loopback sends it back on its input.
    const auto through = bus.addLoopback ("Midi Through Port-0");
    Heard heard;
    auto in = bus.openInput (juce::String (through), &heard);
    in->start();
    auto throughOut = bus.openOutput (juce::String (through));
    throughOut->sendMessageNow (message (bytes ("F0 00 4B 6E 00 1A 00 F7")));
    bus.waitUntilIdle();
    EXPECT_EQ (heard.all().joinIntoString ("|"), "F0 00 4B 6E 00 1A 00 F7");
}

TEST (VirtualMidiBus, DeliversWhatADeviceSendsInOrderToItsStartedInputsOnItsOwnThread)
{
    VirtualMidiBus bus;
    const auto device = bus.addEndpoint ("Pedal");
    const auto other = bus.addEndpoint ("Other");
    Heard started, notStarted, elsewhere;

    auto in1 = bus.openInput (juce::String (device), &started);
    auto in2 = bus.openInput (juce::String (device), &notStarted);
    auto in3 = bus.openInput (juce::String (other), &elsewhere);
    in1->start();
    in3->start();

    for (int i = 0; i < 300; ++i)
        bus.sendFromDevice (device, numbered (i));

    bus.waitUntilIdle();

    juce::StringArray expected;

    for (int i = 0; i < 300; ++i)
        expected.add (hex (numbered (i)));

    EXPECT_EQ (started.all(), expected);
    EXPECT_EQ (notStarted.count(), 0);
    EXPECT_EQ (elsewhere.count(), 0);
    EXPECT_EQ (started.threads.count (std::this_thread::get_id()), 0u);

    // Every open, started input of the device hears it.
    in2->start();
    bus.sendFromDevice (device, numbered (1000));
    bus.waitUntilIdle();
    EXPECT_EQ (started.count(), 301);
    EXPECT_EQ (notStarted.count(), 1);
}

TEST (VirtualMidiBus, AnUnpluggedDevicesPortsGoDead)
{
    VirtualMidiBus bus;
    const auto device = bus.addEndpoint ("Pedal");
    int reached = 0;
    bus.setReceiver (device, [&] (const juce::MidiMessage&) { ++reached; });

    Heard heard;
    auto in = bus.openInput (juce::String (device), &heard);
    in->start();
    auto out = bus.openOutput (juce::String (device));

    bus.removeEndpoint (device);
    out->sendMessageNow (numbered (1));
    bus.sendFromDevice (device, numbered (2));

    // The same device plugged in again is a new device; the old ports stay dead.
    const auto again = bus.addEndpoint ("Pedal");
    bus.setReceiver (again, [&] (const juce::MidiMessage&) { ++reached; });
    out->sendMessageNow (numbered (3));
    bus.sendFromDevice (again, numbered (4));
    bus.waitUntilIdle();

    EXPECT_EQ (reached, 0);
    EXPECT_EQ (heard.count(), 0);
    EXPECT_EQ (bus.openInput (juce::String (device), &heard), nullptr);
    EXPECT_EQ (bus.openOutput (juce::String (device)), nullptr);
}

TEST (VirtualMidiBus, OpeningFailsWhereTheDeviceIsHeldOrLacksTheSide)
{
    VirtualMidiBus bus;
    Heard heard;
    const auto held = bus.addEndpoint ("Held");
    const auto inputOnly = bus.addEndpoint ("In", Sides::inputOnly);
    bus.setOpenFails (held, Sides::inputOnly);

    EXPECT_EQ (bus.openInput (juce::String (held), &heard), nullptr);
    EXPECT_NE (bus.openOutput (juce::String (held)), nullptr);
    EXPECT_EQ (bus.openOutput (juce::String (inputOnly)), nullptr);
    EXPECT_EQ (bus.openInput ("99", &heard), nullptr);

    bus.setOpenFails (held);
    EXPECT_EQ (bus.openOutput (juce::String (held)), nullptr);
    EXPECT_EQ (bus.openPorts(), 0);
}

TEST (VirtualMidiBus, AClosedInputHearsNothingMoreEvenMidDelivery)
{
    VirtualMidiBus bus;
    const auto device = bus.addEndpoint ("Pedal");
    auto heard = std::make_unique<Heard>();
    auto in = bus.openInput (juce::String (device), heard.get());
    in->start();

    std::atomic<bool> stop { false };
    std::thread flood ([&] {
        for (int i = 0; ! stop; ++i)
            bus.sendFromDevice (device, numbered (i));
    });

    while (heard->count() < 50)
        std::this_thread::yield();

    in = nullptr;
    const int atClose = heard->count();
    juce::Thread::sleep (20);
    stop = true;
    flood.join();
    bus.waitUntilIdle();

    EXPECT_EQ (heard->count(), atClose);
    heard = nullptr; // a late callback would now touch freed memory, which the sanitizers catch
    bus.sendFromDevice (device, numbered (0));
    bus.waitUntilIdle();
}
