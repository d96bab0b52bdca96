#include "emulator/PedalReport.h"

#include <algorithm>

namespace emulator
{
    namespace
    {
        juce::String phaseName (PedalEmulator::Phase p)
        {
            switch (p)
            {
                case PedalEmulator::Phase::boot:
                    return "boot";
                case PedalEmulator::Phase::updating:
                    return "updating";
                case PedalEmulator::Phase::restarting:
                    return "restarting";
                case PedalEmulator::Phase::running:
                    return "running";
                case PedalEmulator::Phase::unplugged:
                    return "unplugged";
            }

            return "unknown";
        }

        /** The command of a message addressed to this model, or -1. */
        int commandOf (const juce::Array<juce::uint8>& b, int modelId)
        {
            const bool ours = b.size() >= 8 && b[0] == 0xF0 && b.getLast() == 0xF7 && b[1] == 0x00 && b[2] == 0x4B && b[3] == 0x6E && b[4] == 0x00 && b[5] == (juce::uint8) (modelId & 0xFF);
            return ours ? (int)b[6] : -1;
        }

        juce::String ms (double v) { return juce::String (v, 3); }
    }

    juce::String PedalReport::verdictOf (const PedalEmulator::Verdict& v, bool updateBegan)
    {
        if (! updateBegan)
            return "no-update";

        if (! v.complete)
            return "incomplete";

        return v.paced ? "updated" : "badly-paced";
    }

    void PedalReport::countArrivals (const std::vector<PedalEmulator::Arrival>& arrivals, int modelId)
    {
        messages = bytes = identifyRequests = revisionQueries = otherMessages = 0;
        gapMin = gapMedian = gapMax = 0;
        std::vector<double> times;

        for (const auto& a : arrivals)
        {
            ++messages;
            bytes += a.bytes.size();
            const auto command = commandOf (a.bytes, modelId);

            if (command == 0x00 && a.bytes.size() == 8)
                ++identifyRequests;
            else if (command == 0x03 && a.bytes.size() == 8)
                ++revisionQueries;
            else if (command == 0x51 || command == 0x52)
                times.push_back (a.time);
            else
                ++otherMessages;
        }

        updateMessages = (int)times.size();

        if (times.size() >= 2)
        {
            std::vector<double> gaps;

            for (size_t i = 1; i < times.size(); ++i)
                gaps.push_back (times[i] - times[i - 1]);

            std::sort (gaps.begin(), gaps.end());
            const auto n = gaps.size();
            gapMin = gaps.front();
            gapMax = gaps.back();
            gapMedian = n % 2 == 1 ? gaps[n / 2] : (gaps[n / 2 - 1] + gaps[n / 2]) / 2;
        }
    }

    PedalReport PedalReport::of (const PedalEmulator& pedal, const PedalConfig& config)
    {
        PedalReport r;
        const auto stream = pedal.streamBytes();
        const auto v = pedal.verdict();
        r.countArrivals (pedal.received(), config.modelId);
        r.phase = phaseName (pedal.phase());
        r.verdict = verdictOf (v, ! stream.isEmpty());
        r.firstError = v.firstError;
        r.complete = v.complete;
        r.paced = v.paced;
        r.dataMessages = v.dataMessages;
        r.streamBytes = stream.size();
        r.streamSha256 = Sha256::hex (stream.getRawDataPointer(), (size_t)stream.size());
        r.revisionInstalled = pedal.revision();
        r.revisionReported = config.faults.wrongRevision.value_or (r.revisionInstalled);
        return r;
    }

    juce::String PedalReport::toText() const
    {
        const auto number = [] (int v) { return juce::String (v); };
        const auto flag = [] (bool v) { return juce::String (v ? "1" : "0"); };

        const std::pair<const char*, juce::String> lines[] = {
            { "fault", fault },
            { "verdict", verdict },
            { "phase", phase },
            { "revision_installed", number (revisionInstalled) },
            { "revision_reported", number (revisionReported) },
            { "messages_received", number (messages) },
            { "bytes_received", number (bytes) },
            { "identify_requests", number (identifyRequests) },
            { "revision_queries", number (revisionQueries) },
            { "update_messages", number (updateMessages) },
            { "other_messages", number (otherMessages) },
            { "data_messages", number (dataMessages) },
            { "stream_bytes", number (streamBytes) },
            { "stream_sha256", streamSha256 },
            { "gap_ms_min", ms (gapMin) },
            { "gap_ms_median", ms (gapMedian) },
            { "gap_ms_max", ms (gapMax) },
            { "complete", flag (complete) },
            { "paced", flag (paced) },
            { "first_error", firstError },
            { "input_buffer", number (inputBuffer) },
            { "lost_messages", number (lostMessages) },
            { "buffer_peak", number (bufferPeak) },
            { "ports_shown", portsShown.joinIntoString (";") },
            { "ended_by", endedBy },
        };

        juce::String text;

        // One line each: a value never holds a line break.
        for (const auto& [key, value] : lines)
            text << key << "=" << value.replaceCharacters ("\r\n", "  ") << "\n";

        return text;
    }
}
