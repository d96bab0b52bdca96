#include "emulator/InputBuffer.h"
#include "emulator/PedalBridge.h"
#include "emulator/PedalEmulator.h"
#include "midi/Midi.h"
#include "midi/SysexProtocol.h"
#include "virtualmidi/RealTimeScheduler.h"
#include "virtualmidi/TestRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace testrig;
using emulator::PedalBridge;
using emulator::PedalConfig;
using emulator::PedalEmulator;
using Sides = virtualmidi::VirtualMidiBus::Sides;

namespace
{
    constexpr int model = 0x1A;

    /** The computer's ports, as a second virtual bus: each pair is two devices of one name,
        one the computer writes to and one it reads from, as JUCE's createNewDevice makes
        them on the ALSA sequencer. */
    class ComputerPorts final : public emulator::DevicePorts
    {
    public:
        explicit ComputerPorts (virtualmidi::VirtualMidiBus& b) : bus (b) {}

        std::unique_ptr<emulator::DevicePortPair> create (const juce::String& name, Receiver receiver) override
        {
            ++made;

            if (refused.contains (name))
                return nullptr;

            return std::make_unique<Pair> (bus, name, std::move (receiver));
        }

        juce::StringArray refused;
        int made = 0;

    private:
        struct Pair final : emulator::DevicePortPair
        {
            Pair (virtualmidi::VirtualMidiBus& b, const juce::String& name, Receiver receiver)
                : bus (b),
                  written (bus.addEndpoint (name, Sides::outputOnly)),
                  read (bus.addEndpoint (name, Sides::inputOnly)),
                  target (std::make_shared<Target>())
            {
                target->receiver = std::move (receiver);

                // The bus may still be calling the receiver it handed out; a port pair must
                // not, once it is gone.
                bus.setReceiver (written, [t = target] (const juce::MidiMessage& m) {
                    const std::lock_guard<std::mutex> l (t->lock);

                    if (t->receiver)
                        t->receiver (m);
                });
            }

            ~Pair() override
            {
                bus.removeEndpoint (written);
                bus.removeEndpoint (read);
                const std::lock_guard<std::mutex> l (target->lock);
                target->receiver = nullptr;
            }

            void send (const juce::MidiMessage& m) override { bus.sendFromDevice (read, m); }

            struct Target
            {
                std::mutex lock;
                Receiver receiver;
            };

            virtualmidi::VirtualMidiBus& bus;
            const int written, read;
            std::shared_ptr<Target> target;
        };

        virtualmidi::VirtualMidiBus& bus;
    };

    juce::String listing (virtualmidi::VirtualMidiBus& bus)
    {
        juce::StringArray s;

        for (const auto& p : bus.getInputs())
            s.add ("in " + p.name);

        for (const auto& p : bus.getOutputs())
            s.add ("out " + p.name);

        return s.joinIntoString (", ");
    }

    juce::String describe (const std::vector<PedalBridge::Change>& changes)
    {
        juce::StringArray s;

        for (const auto& c : changes)
            s.add (juce::String (c.kind == PedalBridge::Change::up ? "up " : c.kind == PedalBridge::Change::down ? "down "
                                                                                                                 : "failed ") +
                   c.name);

        return s.joinIntoString (", ");
    }

    /** Records what the computer hears on one of its inputs. */
    struct Listener final : juce::MidiInputCallback
    {
        void handleIncomingMidiMessage (juce::MidiInput*, const juce::MidiMessage& m) override
        {
            const std::lock_guard<std::mutex> l (lock);
            heard.add (hex (m));
        }

        juce::StringArray take()
        {
            const std::lock_guard<std::mutex> l (lock);
            auto s = heard;
            heard.clear();
            return s;
        }

        std::mutex lock;
        juce::StringArray heard;
    };
}

TEST (PedalBridge, ShowsEachDuplexDeviceUnderItsNameAndFollowsItAway)
{
    virtualmidi::VirtualMidiBus pedalSide, computer;
    ComputerPorts ports (computer);

    {
        PedalBridge bridge (pedalSide, ports);
        EXPECT_EQ (describe (bridge.sync()), "");

        // Only a device with both sides is a pedal to show.
        pedalSide.addEndpoint ("half", Sides::inputOnly);
        const auto pedal = pedalSide.addEndpoint ("Bramblet boot");
        std::vector<juce::String> heardByPedal;
        pedalSide.setReceiver (pedal, [&] (const juce::MidiMessage& m) { heardByPedal.push_back (hex (m)); });

        EXPECT_EQ (describe (bridge.sync()), "up Bramblet boot");
        EXPECT_EQ (describe (bridge.sync()), "") << "nothing changed";
        EXPECT_EQ (listing (computer), "in Bramblet boot, out Bramblet boot");
        EXPECT_EQ (bridge.shownNames(), juce::StringArray ("Bramblet boot"));

        // Both directions, through the computer's own ports.
        const auto in = computer.getInputs()[0].identifier, out = computer.getOutputs()[0].identifier;
        Listener listener;
        auto input = computer.openInput (in, &listener);
        auto output = computer.openOutput (out);
        input->start();

        output->sendMessageNow (message (bytes ("F0 00 4B 6E 00 1A 00 F7")));
        EXPECT_EQ (heardByPedal, std::vector<juce::String> { "F0 00 4B 6E 00 1A 00 F7" });

        pedalSide.sendFromDevice (pedal, message (bytes ("F0 00 4B 6E 00 1A 01 F7")));
        pedalSide.sendFromDevice (pedal, juce::MidiMessage::noteOn (1, 60, (juce::uint8)100));
        pedalSide.waitUntilIdle();
        computer.waitUntilIdle();
        EXPECT_EQ (listener.take(), juce::StringArray ({ "F0 00 4B 6E 00 1A 01 F7", "90 3C 64" }));

        // A restart: the device goes, and comes back as another one under its running name.
        pedalSide.removeEndpoint (pedal);
        EXPECT_EQ (describe (bridge.sync()), "down Bramblet boot");
        EXPECT_EQ (listing (computer), "");

        const auto restarted = pedalSide.addEndpoint ("Bramblet");
        EXPECT_EQ (describe (bridge.sync()), "up Bramblet");
        EXPECT_EQ (listing (computer), "in Bramblet, out Bramblet");

        // The old pair stays dead: nothing reaches it from the device that replaced it.
        pedalSide.sendFromDevice (restarted, message (bytes ("F0 00 4B 6E 00 1A 01 F7")));
        pedalSide.waitUntilIdle();
        computer.waitUntilIdle();
        EXPECT_TRUE (listener.take().isEmpty());
        input = nullptr;
        output = nullptr;

        // Renamed in place: new ports under the new name, the old ones gone first.
        pedalSide.renameEndpoint (restarted, "Bramblet 2");
        EXPECT_EQ (describe (bridge.sync()), "down Bramblet, up Bramblet 2");
        EXPECT_EQ (listing (computer), "in Bramblet 2, out Bramblet 2");
        EXPECT_EQ (pedalSide.openPorts(), 2);
    }

    EXPECT_EQ (listing (computer), "") << "the bridge takes its ports with it";
    EXPECT_EQ (pedalSide.openPorts(), 0);
}

TEST (PedalBridge, PortsThatCannotBeMadeAreReportedOnceAndHoldNothingOpen)
{
    virtualmidi::VirtualMidiBus pedalSide, computer;
    ComputerPorts ports (computer);
    ports.refused.add ("Bramblet boot");
    PedalBridge bridge (pedalSide, ports);

    const auto pedal = pedalSide.addEndpoint ("Bramblet boot");
    EXPECT_EQ (describe (bridge.sync()), "failed Bramblet boot");
    EXPECT_EQ (describe (bridge.sync()), "");
    EXPECT_EQ (ports.made, 1) << "not tried again while the device stays";
    EXPECT_EQ (pedalSide.openPorts(), 0);
    EXPECT_TRUE (bridge.shownNames().isEmpty());

    // Its successor is a new device and gets its own try.
    pedalSide.removeEndpoint (pedal);
    pedalSide.addEndpoint ("Bramblet");
    EXPECT_EQ (describe (bridge.sync()), "up Bramblet");
}

TEST (PedalBridge, GoesAwayCleanlyWhileTheDeviceAndTheComputerKeepTalking)
{
    // Real threads on both sides: the device floods the computer from the bus's delivery
    // thread while the computer floods the device, and the ports go in the middle of it.
    virtualmidi::VirtualMidiBus pedalSide, computer;
    ComputerPorts ports (computer);
    const auto device = pedalSide.addEndpoint ("Bramblet boot");
    std::atomic<int> heardByDevice { 0 };
    pedalSide.setReceiver (device, [&] (const juce::MidiMessage&) { ++heardByDevice; });

    for (int round = 0; round < 20; ++round)
    {
        auto bridge = std::make_unique<PedalBridge> (pedalSide, ports);
        ASSERT_EQ (describe (bridge->sync()), "up Bramblet boot");

        Listener listener;
        auto input = computer.openInput (computer.getInputs()[0].identifier, &listener);
        auto output = computer.openOutput (computer.getOutputs()[0].identifier);
        input->start();

        std::atomic<bool> stop { false };
        std::thread talker ([&] {
            while (! stop)
            {
                pedalSide.sendFromDevice (device, juce::MidiMessage::midiClock());
                output->sendMessageNow (juce::MidiMessage::midiClock());
                std::this_thread::yield();
            }
        });

        std::this_thread::sleep_for (std::chrono::milliseconds (2));
        bridge = nullptr;
        stop = true;
        talker.join();
        pedalSide.waitUntilIdle();
        computer.waitUntilIdle();
        input = nullptr;
        output = nullptr;
        EXPECT_EQ (pedalSide.openPorts(), 0);
    }

    EXPECT_GT (heardByDevice.load(), 0);
}

TEST (PedalBridge, TheLinkUpdatesThePedalThroughItAsIfItWereAttached)
{
    // The device link on the computer's side, the pedal on its own bus behind its input
    // buffer, the bridge between them kept in line every 10 ms, all in virtual time: the same
    // update, the same waits and the same result as with the pedal on the link's own bus.
    Rig pedalSide;
    virtualmidi::VirtualMidiBus computer;
    pedalSide.clock.setSettle ([&] {
        pedalSide.bus.waitUntilIdle();
        computer.waitUntilIdle();
    });

    ComputerPorts ports (computer);
    PedalEmulator pedal (pedalSide.bus, pedalSide.clock);
    emulator::InputBuffer buffer (pedalSide.bus, pedalSide.clock, 8, {});
    PedalBridge bridge (buffer, ports);
    juce::StringArray changes;

    std::function<void()> tick = [&] {
        for (const auto& c : bridge.sync())
            changes.add (juce::String ((int)pedalSide.clock.now()) + " " + describe ({ c }));

        pedalSide.clock.schedule (10, tick);
    };
    tick();

    midi::Midi link (computer, pedalSide.clock);
    ASSERT_TRUE (link.findDevice (model));
    juce::String name;
    link.getDeviceName (name);
    EXPECT_EQ (name, "Bramblet boot");

    const auto stream = updateStream();
    Bytes sent;

    for (size_t i = 0; i < stream.size(); ++i)
    {
        link.send (stream[i]);
        sent.addArray (stream[i]);

        if (i > 0)
            pedalSide.clock.sleep (40);
    }

    pedalSide.clock.sleep (2500);
    link.close();
    ASSERT_TRUE (link.findDevice (model));
    link.getDeviceName (name);
    EXPECT_EQ (name, "Bramblet");

    Bytes reply;
    int revision = 0;
    ASSERT_TRUE (link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));
    EXPECT_TRUE (midi::protocol::unpackRevision (reply, revision));
    EXPECT_EQ (revision, 739);

    const auto v = pedal.verdict();
    EXPECT_TRUE (v.complete && v.paced) << v.firstError;
    EXPECT_TRUE (pedal.streamBytes() == sent);
    EXPECT_EQ (buffer.lost(), 0);

    // The update end arrives at 300 + 378 * 40 ms, just after a tick: the pedal's ports go at
    // the next one; its new ones show as it comes back 1500 ms after the update end.
    EXPECT_EQ (changes, juce::StringArray ({ "0 up Bramblet boot", "15430 down Bramblet boot", "16920 up Bramblet" }));

    std::vector<int> expected { 300 };
    expected.insert (expected.end(), 379, 40);
    expected.insert (expected.end(), { 2500, 300, 10 });
    EXPECT_EQ (pedalSide.clock.sleepLengths(), expected);
    link.close();
}

TEST (PedalBridge, CarriesAShortUpdateInRealTime)
{
    // As the pedal program runs it: real time, the bridge kept in line by a thread of its own.
    virtualmidi::VirtualMidiBus pedalSide, computer;
    virtualmidi::RealTimeScheduler scheduler;
    ComputerPorts ports (computer);
    PedalConfig config;
    config.dataMessages = 2;
    config.minDataGapMs = 0;
    config.restartMs = 50;
    PedalEmulator pedal (pedalSide, scheduler, config);

    {
        PedalBridge bridge (pedalSide, ports);
        bridge.sync();
        std::atomic<bool> stop { false };
        std::thread keeper ([&] {
            while (! stop)
            {
                bridge.sync();
                std::this_thread::sleep_for (std::chrono::milliseconds (5));
            }
        });

        midi::Midi link (computer, midi::Clock::system());
        ASSERT_TRUE (link.findDevice (model));

        for (const auto& m : updateStream (2))
            link.send (m);

        // Generous: the restart takes 50 ms.
        bool foundAgain = false;

        for (int attempt = 0; attempt < 20 && ! foundAgain; ++attempt)
        {
            link.close();
            juce::Thread::sleep (100);
            foundAgain = link.findDevice (model);
        }

        ASSERT_TRUE (foundAgain);
        Bytes reply;
        int revision = 0;
        ASSERT_TRUE (link.sendAndReceive (midi::protocol::revisionQuery (model), reply, 20));
        EXPECT_TRUE (midi::protocol::unpackRevision (reply, revision));
        EXPECT_EQ (revision, 739);
        link.close();

        stop = true;
        keeper.join();
    }

    EXPECT_EQ (pedalSide.openPorts(), 0);
}
