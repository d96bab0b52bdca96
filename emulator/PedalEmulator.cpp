#include "emulator/PedalEmulator.h"

#include <mutex>

namespace emulator
{
    namespace
    {
        using Bytes = juce::Array<juce::uint8>;

        constexpr int headerEnd = 6; // F0 and the five header bytes
        constexpr int shortMessageSize = 8;
        constexpr int beginOrEndSize = 9;
        constexpr int dataSize = 599;

        constexpr juce::uint8 identifyCommand = 0x00;
        constexpr juce::uint8 identifyReplyCommand = 0x01;
        constexpr juce::uint8 revisionQueryCommand = 0x03;
        constexpr juce::uint8 revisionReplyCommand = 0x03;
        constexpr juce::uint8 beginCommand = 0x51;
        constexpr juce::uint8 dataCommand = 0x52;

        Bytes sysex (std::initializer_list<juce::uint8> dataBytes)
        {
            Bytes b { 0xF0 };
            b.addArray (dataBytes);
            b.add (0xF7);
            return b;
        }

        juce::MidiMessage toMessage (const Bytes& b) { return juce::MidiMessage (b.getRawDataPointer(), b.size()); }

        Bytes message (int modelId, juce::uint8 command, const Bytes& payload = {})
        {
            Bytes b { 0xF0, 0x00, 0x4B, 0x6E, 0x00, (juce::uint8) (modelId & 0xFF), command };
            b.addArray (payload);
            b.add (0xF7);
            return b;
        }

        juce::String ms (double t) { return juce::String (t, 1) + " ms"; }
    }

    std::vector<juce::MidiMessage> foreignNoise()
    {
        return {
            juce::MidiMessage::noteOn (1, 60, (juce::uint8)100),
            juce::MidiMessage::midiClock(),
            juce::MidiMessage::controllerEvent (1, 7, 64),
            toMessage ({ 0xFE }),                                             // active sensing
            toMessage (sysex ({ 0x00, 0x20, 0x29, 0x00, 0x1A, 0x01 })),       // another maker
            toMessage (sysex ({ 0x7E, 0x7F, 0x06, 0x02, 0x00, 0x20, 0x29 })), // a universal identity reply
            toMessage (sysex ({ 0x00, 0x4B, 0x6E, 0x01, 0x1A, 0x01 })),       // another fixed byte
            toMessage (sysex ({ 0x00, 0x4B, 0x6E, 0x00, 0x1B, 0x01 })),       // another model's identify reply
            toMessage (sysex ({ 0x00, 0x4B, 0x6E, 0x00, 0x1B, 0x03, 0x40, 0x63, 0x02, 0x00, 0x00 })),
        };
    }

    std::vector<juce::MidiMessage> defaultNoise()
    {
        auto noise = foreignNoise();
        noise.push_back (toMessage (sysex ({})));
        return noise;
    }

    // Scheduled events and the bus's receiver reach the emulator through this, so that
    // nothing touches it once it is gone, and everything it holds is guarded by one lock.
    struct PedalEmulator::Life
    {
        std::mutex lock;
        PedalEmulator* owner = nullptr;
    };

    PedalEmulator::PedalEmulator (virtualmidi::VirtualMidiBus& b, virtualmidi::Scheduler& s, PedalConfig c)
        : bus (b), scheduler (s), config (std::move (c)), life (std::make_shared<Life>()), currentRevision (config.oldRevision)
    {
        const std::lock_guard<std::mutex> l (life->lock);
        life->owner = this;
        plugIn (config.bootName);

        if (config.faults.noiseIntervalMs > 0 && ! config.faults.noise.empty())
            later (config.faults.noiseIntervalMs, [] (PedalEmulator& p) { p.noiseTick(); });
    }

    PedalEmulator::~PedalEmulator()
    {
        const std::lock_guard<std::mutex> l (life->lock);
        life->owner = nullptr;
        bus.setReceiver (port, nullptr);
        bus.removeEndpoint (port);
    }

    virtualmidi::VirtualMidiBus::EndpointId PedalEmulator::endpoint() const
    {
        const std::lock_guard<std::mutex> l (life->lock);
        return port;
    }

    PedalEmulator::Phase PedalEmulator::phase() const
    {
        const std::lock_guard<std::mutex> l (life->lock);
        return currentPhase;
    }

    int PedalEmulator::revision() const
    {
        const std::lock_guard<std::mutex> l (life->lock);
        return currentRevision;
    }

    std::vector<PedalEmulator::Arrival> PedalEmulator::received() const
    {
        const std::lock_guard<std::mutex> l (life->lock);
        return arrivals;
    }

    juce::Array<juce::uint8> PedalEmulator::streamBytes() const
    {
        const std::lock_guard<std::mutex> l (life->lock);
        return stream;
    }

    PedalEmulator::Verdict PedalEmulator::verdict() const
    {
        const std::lock_guard<std::mutex> l (life->lock);
        auto v = result;
        v.dataMessages = dataCount;
        v.complete = endSeen && ! streamBroken;
        return v;
    }

    void PedalEmulator::afterMessage (int k, std::function<void()> hook)
    {
        const std::lock_guard<std::mutex> l (life->lock);
        hooks.emplace_back (k, std::move (hook));
    }

    void PedalEmulator::unplug()
    {
        const std::lock_guard<std::mutex> l (life->lock);
        currentPhase = Phase::unplugged;
        bus.removeEndpoint (port);
    }

    juce::Array<juce::uint8> PedalEmulator::packRevision (int revision)
    {
        const auto r = (juce::uint32)revision;
        const juce::uint8 bytes[] = { (juce::uint8) (r & 0xFF), (juce::uint8) ((r >> 8) & 0xFF),
                                      (juce::uint8) ((r >> 16) & 0xFF), (juce::uint8) ((r >> 24) & 0xFF) };
        juce::uint8 highBits = 0;

        for (int i = 0; i < 4; ++i)
            if ((bytes[i] & 0x80) != 0)
                highBits |= (juce::uint8) (0x40 >> i);

        Bytes packed { highBits };

        for (auto b : bytes)
            packed.add ((juce::uint8) (b & 0x7F));

        return packed;
    }

    void PedalEmulator::plugIn (const juce::String& name)
    {
        port = bus.addEndpoint (name, virtualmidi::VirtualMidiBus::Sides::duplex);
        std::weak_ptr<Life> weak = life;

        bus.setReceiver (port, [weak] (const juce::MidiMessage& m) {
            std::vector<std::function<void()>> due;

            if (auto l = weak.lock())
            {
                const std::lock_guard<std::mutex> g (l->lock);

                if (l->owner != nullptr)
                    l->owner->receive (m, due);
            }

            for (auto& hook : due)
                hook();
        });
    }

    void PedalEmulator::later (double delay, std::function<void (PedalEmulator&)> event)
    {
        std::weak_ptr<Life> weak = life;

        scheduler.schedule (delay, [weak, event = std::move (event)] {
            if (auto l = weak.lock())
            {
                const std::lock_guard<std::mutex> g (l->lock);

                if (l->owner != nullptr)
                    event (*l->owner);
            }
        });
    }

    void PedalEmulator::reply (double delay, const juce::Array<juce::uint8>& bytes)
    {
        const auto to = port;
        const int copies = config.faults.answersTwice ? 2 : 1;

        // Sent from where it was asked: a pedal that restarted or was pulled meanwhile is silent.
        later (delay, [to, bytes, copies] (PedalEmulator& p) {
            for (int i = 0; i < copies; ++i)
                p.bus.sendFromDevice (to, toMessage (bytes));
        });
    }

    void PedalEmulator::receive (const juce::MidiMessage& m, std::vector<std::function<void()>>& due)
    {
        const Bytes bytes (m.getRawData(), m.getRawDataSize());
        const double time = scheduler.now();
        arrivals.push_back ({ time, bytes });

        for (const auto& [k, hook] : hooks)
            if (k == (int)arrivals.size())
                due.push_back (hook);

        const bool sysexFromUs = bytes.size() >= shortMessageSize && bytes[0] == 0xF0 && bytes.getLast() == 0xF7 && bytes[1] == 0x00 && bytes[2] == 0x4B && bytes[3] == 0x6E && bytes[4] == 0x00 && bytes[5] == (juce::uint8) (config.modelId & 0xFF);
        const auto command = sysexFromUs ? bytes[6] : (juce::uint8)0xFF;

        if (sysexFromUs && bytes.size() == shortMessageSize && command == identifyCommand)
        {
            if (! config.faults.neverAnswersIdentify)
                reply (config.faults.lateIdentifyMs > 0 ? config.faults.lateIdentifyMs : config.identifyDelayMs,
                       message (config.modelId, identifyReplyCommand));
            return;
        }

        if (sysexFromUs && bytes.size() == shortMessageSize && command == revisionQueryCommand)
        {
            if (! config.faults.ignoresRevisionQuery)
            {
                auto packed = packRevision (config.faults.wrongRevision.value_or (currentRevision));

                if (config.faults.shortRevisionReply)
                    packed.removeLast();

                reply (config.revisionDelayMs, message (config.modelId, revisionReplyCommand, packed));
            }
            return;
        }

        // Only a pedal in boot mode takes an update; anything else it ignores.
        if (currentPhase == Phase::boot || currentPhase == Phase::updating)
            checkStream (bytes, time);
    }

    void PedalEmulator::checkStream (const juce::Array<juce::uint8>& bytes, double time)
    {
        const bool framed = bytes.size() >= 2 && bytes[0] == 0xF0 && bytes.getLast() == 0xF7;

        if (! framed)
        {
            if (currentPhase == Phase::updating)
                structureError ("message " + juce::String (arrivals.size()) + " is not a complete SysEx message");
            return;
        }

        if (bytes.size() < shortMessageSize || bytes[1] != 0x00 || bytes[2] != 0x4B || bytes[3] != 0x6E || bytes[4] != 0x00)
        {
            if (currentPhase == Phase::updating)
                structureError ("message " + juce::String (arrivals.size()) + " has a wrong header");
            return;
        }

        if (bytes[5] != (juce::uint8) (config.modelId & 0xFF))
        {
            if (currentPhase == Phase::updating)
                structureError ("message " + juce::String (arrivals.size()) + " is for model " + juce::String::toHexString ((int)bytes[5]).toUpperCase());
            return;
        }

        for (int i = 1; i < bytes.size() - 1; ++i)
        {
            if (bytes[i] >= 0x80)
            {
                structureError ("message " + juce::String (arrivals.size()) + " has a byte above 7F");
                return;
            }
        }

        const auto command = bytes[headerEnd];
        const bool isBegin = command == beginCommand && bytes.size() == beginOrEndSize && bytes[7] == 0x01;
        const bool isData = command == dataCommand && bytes.size() == dataSize;
        const bool isEnd = command == dataCommand && bytes.size() == beginOrEndSize && bytes[7] == 0x01;

        if (! (isBegin || isData || isEnd))
        {
            structureError ("unexpected message: command " + juce::String::toHexString ((int)command).toUpperCase() + ", " + juce::String (bytes.size()) + " bytes");
            return;
        }

        if (isBegin)
        {
            if (beginSeen)
            {
                structureError ("a second update begin");
                return;
            }

            beginSeen = true;
            currentPhase = Phase::updating;
        }
        else if (! beginSeen)
        {
            structureError ("update data before the update begin");
            return;
        }
        else if (isData)
        {
            ++dataCount;
            const double gap = time - lastStreamTime;

            if (dataCount > config.dataMessages)
                structureError ("more than " + juce::String (config.dataMessages) + " update data messages");

            if (dataCount == 1 && gap < config.eraseTimeMs)
                pacingError ("the first update data came " + ms (gap) + " after the update begin; erasing the flash takes " + ms (config.eraseTimeMs));

            if (dataCount > 1 && gap < config.minDataGapMs)
                pacingError ("update data " + juce::String (dataCount) + " came " + ms (gap) + " after the one before; a flash write takes " + ms (config.minDataGapMs));
        }
        else
        {
            const double gap = time - lastStreamTime;

            if (dataCount != config.dataMessages)
                structureError ("update end after " + juce::String (dataCount) + " of " + juce::String (config.dataMessages) + " update data messages");

            if (dataCount > 0 && gap < config.minDataGapMs)
                pacingError ("the update end came " + ms (gap) + " after the last update data; a flash write takes " + ms (config.minDataGapMs));

            endSeen = true;
        }

        stream.addArray (bytes);
        lastStreamTime = time;

        if (endSeen)
            restart();
    }

    void PedalEmulator::structureError (const juce::String& text)
    {
        streamBroken = true;

        if (result.firstError.isEmpty())
            result.firstError = text;
    }

    void PedalEmulator::pacingError (const juce::String& text)
    {
        result.paced = false;

        if (result.firstError.isEmpty())
            result.firstError = text;
    }

    void PedalEmulator::restart()
    {
        currentPhase = Phase::restarting;
        bus.removeEndpoint (port);

        if (! streamBroken && result.paced)
            currentRevision = config.newRevision;

        if (config.faults.neverComesBack)
            return;

        later (config.restartMs, [] (PedalEmulator& p) {
            if (p.currentPhase != Phase::restarting)
                return;

            p.currentPhase = Phase::running;
            p.plugIn (p.config.nameAfterRestart);
        });
    }

    void PedalEmulator::noiseTick()
    {
        const bool noisy = currentPhase == Phase::updating || (currentPhase == Phase::boot && config.faults.noiseBeforeUpdate) || (currentPhase == Phase::running && config.faults.noiseAfterRestart);

        if (noisy)
        {
            bus.sendFromDevice (port, config.faults.noise[nextNoise]);
            nextNoise = (nextNoise + 1) % config.faults.noise.size();
        }

        // A pedal that is gone for good makes no more noise.
        if (currentPhase == Phase::unplugged || (currentPhase == Phase::restarting && config.faults.neverComesBack))
            return;

        later (config.faults.noiseIntervalMs, [] (PedalEmulator& p) { p.noiseTick(); });
    }
}
