#pragma once

#include <juce_core/juce_core.h>

namespace midi
{
    /** The device link as its one user, the downloader, sees it: find the pedal among the
        MIDI ports, send it SysEx messages and wait for its replies. */
    class MidiIf
    {
    public:
        virtual ~MidiIf() = default;

        /** Sends an identify request to every equal-named port pair; true when one answered,
            which then stays open. Called only with no pair open. */
        virtual bool findDevice (int modelId) = 0;

        /** Closes the open pair, if any, and forgets its name. */
        virtual void close() = 0;

        /** The name of the open pair; empty when none is open. */
        virtual void getDeviceName (juce::String& name) = 0;

        /** Sends the request and polls for a reply, 10 ms a poll; true with the reply's data
            bytes in `reply` when one came within the polls. */
        virtual bool sendAndReceive (const juce::Array<juce::uint8>& request, juce::Array<juce::uint8>& reply, int polls) = 0;

        /** Sends one message: bytes starting with F0 as they are, anything else wrapped in
            F0 ... F7. False when no pair is open. */
        virtual bool send (const juce::Array<juce::uint8>& bytes) = 0;
    };
}
