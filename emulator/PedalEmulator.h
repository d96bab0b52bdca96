#pragma once

#include "virtualmidi/Scheduler.h"
#include "virtualmidi/VirtualMidiBus.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace emulator
{
    /** Traffic that is not the pedal talking: notes, clock, active sensing, other makers'
        SysEx, the header with another fixed byte, other models' replies. */
    std::vector<juce::MidiMessage> foreignNoise();

    /** foreignNoise() and an empty SysEx message, F0 F7. */
    std::vector<juce::MidiMessage> defaultNoise();

    /** The ways the emulated pedal can misbehave; all off by default. */
    struct PedalFaults
    {
        bool neverAnswersIdentify = false;
        int lateIdentifyMs = 0; // above 0: the identify reply comes this late instead
        bool neverComesBack = false;
        bool ignoresRevisionQuery = false;
        std::optional<int> wrongRevision; // reported whatever was installed
        bool shortRevisionReply = false;  // the packed revision lacks its last byte
        bool answersTwice = false;        // every reply goes out twice

        // Noise: one message of `noise` after another, every noiseIntervalMs (0: quiet),
        // while the update stream runs, and optionally before it and after the restart.
        double noiseIntervalMs = 0;
        bool noiseBeforeUpdate = false;
        bool noiseAfterRestart = false;
        std::vector<juce::MidiMessage> noise = defaultNoise();
    };

    /** How the emulated pedal behaves; the defaults are a healthy pedal in boot mode. */
    struct PedalConfig
    {
        juce::String bootName = "Bramblet boot";
        juce::String nameAfterRestart = "Bramblet";
        int modelId = 0x1A;
        int oldRevision = 700;
        int newRevision = 739;
        double identifyDelayMs = 5;
        double revisionDelayMs = 5;
        double minDataGapMs = 30; // a flash write needs its time
        double eraseTimeMs = 0;   // asked of the gap after the update begin
        double restartMs = 1500;
        int dataMessages = 378;
        PedalFaults faults;
    };

    /** Stands in for the Bramblet pedal on a virtual MIDI bus. Started in boot mode, it shows
        one duplex port, answers the identify request, takes the update stream and checks its
        order, form and pacing, restarts after the update end (its port vanishes and comes back
        under the running name) and then reports the new revision only when the stream was
        complete and well paced. Fault switches make it misbehave the ways a real pedal or a
        busy MIDI setup can. Its time is the scheduler's: virtual in tests, real when driven by
        a RealTimeScheduler. */
    class PedalEmulator final
    {
    public:
        enum class Phase
        {
            boot,       // waiting for an update
            updating,   // between update begin and update end
            restarting, // port gone after the update end
            running,    // back after the restart
            unplugged
        };

        struct Arrival
        {
            double time; // the scheduler's now when the link sent it
            juce::Array<juce::uint8> bytes;
        };

        struct Verdict
        {
            bool complete = false; // begin, every data message and end, in order and well formed
            bool paced = true;     // no gap shorter than the flash needs
            int dataMessages = 0;
            juce::String firstError;
        };

        PedalEmulator (virtualmidi::VirtualMidiBus& bus, virtualmidi::Scheduler& scheduler, PedalConfig config = {});

        /** Unplugs the pedal; events it scheduled do nothing afterwards. */
        ~PedalEmulator();

        virtualmidi::VirtualMidiBus::EndpointId endpoint() const;
        Phase phase() const;

        /** The revision it would report now. */
        int revision() const;

        std::vector<Arrival> received() const;

        /** The update stream as received, begin to end, every byte. */
        juce::Array<juce::uint8> streamBytes() const;

        Verdict verdict() const;

        /** Runs `hook` right after the k-th received message (counting from 1) was handled,
            on the sender's thread, outside the emulator's lock (it may call unplug()). */
        void afterMessage (int k, std::function<void()> hook);

        /** Pulls the cable: the port vanishes and does not come back. */
        void unplug();

        /** The revision as the pedal packs it: 7-bit groups, each led by a byte of high bits. */
        static juce::Array<juce::uint8> packRevision (int revision);

    private:
        struct Life;

        void receive (const juce::MidiMessage& message, std::vector<std::function<void()>>& hooks);
        void checkStream (const juce::Array<juce::uint8>& bytes, double time);
        void structureError (const juce::String& text);
        void pacingError (const juce::String& text);
        void reply (double delay, const juce::Array<juce::uint8>& bytes);
        void plugIn (const juce::String& name);
        void restart();
        void noiseTick();
        void later (double delay, std::function<void (PedalEmulator&)> event);

        virtualmidi::VirtualMidiBus& bus;
        virtualmidi::Scheduler& scheduler;
        const PedalConfig config;
        std::shared_ptr<Life> life;

        // Guarded by life->lock.
        virtualmidi::VirtualMidiBus::EndpointId port = 0;
        Phase currentPhase = Phase::boot;
        int currentRevision;
        std::vector<Arrival> arrivals;
        juce::Array<juce::uint8> stream;
        bool beginSeen = false, endSeen = false, streamBroken = false;
        int dataCount = 0;
        double lastStreamTime = 0;
        Verdict result;
        std::vector<std::pair<int, std::function<void()>>> hooks;
        size_t nextNoise = 0;
    };
}
