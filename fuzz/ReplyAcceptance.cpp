// Fuzz target: what the device link makes of arbitrary MIDI messages arriving on the pedal's
// port, alone and during a revision query.
//
// Input: byte 0 the model id looked for, byte 1 the query's poll count (0 to 31), then messages,
// each a length byte and that many bytes; a length of 0 lets one poll pass. The messages of the
// first stretch arrive as the query goes out, each later stretch during one poll's sleep.
//
// Holds for every input: each message is taken exactly as the acceptance rule reads (not SysEx,
// or a header difference over the data bytes there are: ignored; command 01: identify reply;
// anything else: reply); the query succeeds exactly when a reply was first seen with polls
// left, and then hands over the data bytes of the replies so far, in order; the buffer never
// outgrows its bound; and nothing left over from one query reaches the next.

#include "midi/Midi.h"
#include "midi/SysexProtocol.h"

#include <cstdlib>
#include <deque>
#include <utility>
#include <vector>

namespace
{
    using Bytes = juce::Array<juce::uint8>;
    using Batch = std::vector<juce::MidiMessage>;

    void check (bool condition)
    {
        if (! condition)
            std::abort();
    }

    /** One port pair named "pedal", whose input delivers what the script says when it says. */
    class ScriptedPorts final : public midi::PortSystem,
                                public midi::Clock
    {
    public:
        std::deque<Batch> duringPolls;
        Batch onQuery;
        int sleeps = 0;
        juce::MidiInputCallback* callback = nullptr;

        void deliver (const Batch& batch)
        {
            for (auto& m : batch)
                if (callback != nullptr)
                    callback->handleIncomingMidiMessage (nullptr, m);
        }

        juce::Array<midi::PortInfo> getInputs() override { return thePedal(); }
        juce::Array<midi::PortInfo> getOutputs() override { return thePedal(); }

        std::unique_ptr<midi::InputPort> openInput (const juce::String&, juce::MidiInputCallback* c) override
        {
            callback = c;
            return std::make_unique<Input> (*this);
        }

        std::unique_ptr<midi::OutputPort> openOutput (const juce::String&) override { return std::make_unique<Output> (*this); }

        double now() override { return sleeps * 10.0; }

        void sleep (int milliseconds) override
        {
            ++sleeps;

            if (milliseconds == midi::Midi::identifyWaitMs)
            {
                deliver ({ juce::MidiMessage::createSysExMessage (identifyReply.getRawDataPointer(), identifyReply.size()) });
            }
            else if (! duringPolls.empty())
            {
                auto batch = std::move (duringPolls.front());
                duringPolls.pop_front();
                deliver (batch);
            }
        }

        bool sleepUnlessExit (int milliseconds, juce::Thread&) override
        {
            sleep (milliseconds);
            return true;
        }

        Bytes identifyReply;
        bool queryGoesOut = false;

    private:
        static juce::Array<midi::PortInfo> thePedal()
        {
            juce::Array<midi::PortInfo> ports;
            ports.add (midi::PortInfo { "pedal", "1" });
            return ports;
        }

        struct Input final : midi::InputPort
        {
            explicit Input (ScriptedPorts& p) : ports (p) {}
            ~Input() override { ports.callback = nullptr; }
            void start() override {}
            ScriptedPorts& ports;
        };

        struct Output final : midi::OutputPort
        {
            explicit Output (ScriptedPorts& p) : ports (p) {}

            void sendMessageNow (const juce::MidiMessage&) override
            {
                if (ports.queryGoesOut)
                    ports.deliver (std::exchange (ports.onQuery, {}));
            }

            ScriptedPorts& ports;
        };
    };

    /** A message as a MIDI input can deliver it: a status byte first, and a channel message
        as long as its status byte says; SysEx and system bytes of any length. */
    bool makeMessage (const juce::uint8* p, int n, juce::MidiMessage& m)
    {
        if (n <= 0)
            return false;

        Bytes b (p, n);
        b.set (0, (juce::uint8) (b[0] | 0x80));

        if (b[0] < 0xF0)
        {
            const int wanted = juce::MidiMessage::getMessageLengthFromFirstByte (b[0]);

            if (b.size() < wanted)
                return false;

            b.resize (wanted);
        }

        m = juce::MidiMessage (b.getRawDataPointer(), b.size());
        return true;
    }

    /** The acceptance rule, read plainly from the message's bytes. */
    midi::protocol::Acceptance plainReading (const juce::MidiMessage& m, int modelId)
    {
        using A = midi::protocol::Acceptance;
        const auto* raw = m.getRawData();
        const int size = m.getRawDataSize();

        if (size < 1 || raw[0] != 0xF0)
            return A::ignored;

        const int dataBytes = juce::jmax (0, size - 2); // between F0 and the closing byte
        const juce::uint8 header[] = { 0x00, 0x4B, 0x6E, 0x00, (juce::uint8) (modelId & 0xFF) };

        for (int i = 0; i < juce::jmin (dataBytes, 5); ++i)
            if (raw[1 + i] != header[i])
                return A::ignored;

        return dataBytes > 5 && raw[6] == 0x01 ? A::identifyReply : A::reply;
    }
}

extern "C" int LLVMFuzzerTestOneInput (const juce::uint8* bytes, size_t length)
{
    if (length < 2)
        return 0;

    const int modelId = bytes[0];
    const int polls = bytes[1] & 0x1F;

    // The script: a first stretch, then one stretch per poll.
    std::vector<Batch> stretches (1);

    for (size_t i = 2; i < length;)
    {
        const int n = bytes[i++];

        if (n == 0)
        {
            stretches.emplace_back();
            continue;
        }

        const int available = (int)juce::jmin ((size_t)n, length - i);
        juce::MidiMessage m;

        if (makeMessage (bytes + i, available, m))
        {
            check (midi::protocol::accept (m, modelId) == plainReading (m, modelId));
            stretches.back().push_back (m);
        }

        i += (size_t)available;
    }

    // What the query should see: the first look with a reply, and the bytes by then.
    int firstLook = -1;
    Bytes expected;

    for (int look = 0; look <= polls && look < (int)stretches.size() && firstLook < 0; ++look)
    {
        for (auto& m : stretches[(size_t)look])
        {
            if (plainReading (m, modelId) == midi::protocol::Acceptance::reply)
            {
                expected.addArray (m.getSysExData(), juce::jmin (juce::jmax (0, m.getSysExDataSize()), midi::Midi::maxReplyBytes - expected.size()));
                firstLook = look;
            }
        }
    }

    ScriptedPorts ports;
    ports.identifyReply = midi::protocol::deviceHeader (modelId);
    ports.identifyReply.add (0x01);
    midi::Midi link (ports, ports);
    check (link.findDevice (modelId));

    ports.onQuery = stretches[0];
    ports.duringPolls.assign (stretches.begin() + 1, stretches.end());
    ports.queryGoesOut = true;

    Bytes reply { 0x55 };
    const bool answered = link.sendAndReceive (midi::protocol::revisionQuery (modelId), reply, polls);

    check (answered == (firstLook >= 0 && firstLook < polls));
    check (answered ? reply == expected : reply == Bytes { 0x55 });
    check (link.bufferedReplySize() <= midi::Midi::maxReplyBytes);

    int revision = 0;
    midi::protocol::unpackRevision (reply, revision);

    // Whatever is still to come arrives between queries; the next query starts clean.
    while (! ports.duringPolls.empty())
    {
        ports.deliver (ports.duringPolls.front());
        ports.duringPolls.pop_front();
        check (link.bufferedReplySize() <= midi::Midi::maxReplyBytes);
    }

    check (! link.sendAndReceive (midi::protocol::revisionQuery (modelId), reply, 1));
    check (link.bufferedReplySize() == 0);
    return 0;
}
