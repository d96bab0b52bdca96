#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/*  The SysEx protocol between updater and pedal, as plain functions without I/O.
    Every message: F0, device header 00 4B 6E 00 <model id>, command, payload, F7. */
namespace midi::protocol
{
    /** The six data bytes of the identify request: 00 4B 6E 00 <model id> 00. */
    juce::Array<juce::uint8> identifyRequest (int modelId);

    /** The six data bytes of the revision query: 00 4B 6E 00 <model id> 03. */
    juce::Array<juce::uint8> revisionQuery (int modelId);

    /** Decodes the revision from a reply's data bytes (header and command first, then the
        packed 7-bit groups). False when the reply yields fewer than four unpacked bytes. */
    bool unpackRevision (const juce::Array<juce::uint8>& replyDataBytes, int& revision);
}
