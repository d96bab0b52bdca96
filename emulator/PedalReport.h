#pragma once

#include "emulator/PedalEmulator.h"
#include "emulator/Sha256.h"

namespace emulator
{
    /** What the pedal received and what it made of it, as `key=value` lines for scripts. */
    struct PedalReport
    {
        juce::String fault = "healthy";
        juce::String phase = "absent"; // boot, updating, restarting, running, unplugged or absent
        juce::String verdict = "no-update";
        juce::String firstError;
        int revisionInstalled = 0, revisionReported = 0;

        int messages = 0, bytes = 0; // everything that arrived at the pedal's ports
        int identifyRequests = 0, revisionQueries = 0;
        int updateMessages = 0; // update begin, data and end, as they arrived
        int otherMessages = 0;
        int dataMessages = 0; // as the pedal counted them in its stream

        int streamBytes = 0; // the update stream the pedal took, begin to end
        juce::String streamSha256 = Sha256::hex (nullptr, 0);

        // Gaps between one update message and the next, in milliseconds; 0 with fewer than two.
        double gapMin = 0, gapMedian = 0, gapMax = 0;

        bool complete = false, paced = true;

        int inputBuffer = 0;  // messages its input buffer holds; 0: none
        int lostMessages = 0; // lost to a full input buffer
        int bufferPeak = 0;   // the most messages that waited at once

        juce::StringArray portsShown; // every name under which the pedal's ports appeared
        juce::String endedBy;

        /** What `pedal`, configured with `config`, has received so far. */
        static PedalReport of (const PedalEmulator& pedal, const PedalConfig& config);

        /** Counts the messages and times the gaps from these arrivals instead, for a pedal
            that received them through an input buffer. */
        void countArrivals (const std::vector<PedalEmulator::Arrival>& arrivals, int modelId);

        /** verdict: "updated" when the stream was complete and well paced, "incomplete",
            "badly-paced", or "no-update" when no update began. */
        static juce::String verdictOf (const PedalEmulator::Verdict& v, bool updateBegan);

        juce::String toText() const;
    };
}
