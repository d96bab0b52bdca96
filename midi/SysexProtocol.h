#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

/*  The SysEx protocol between updater and pedal, as plain functions without I/O.
    Every message: F0, device header 00 4B 6E 00 <model id>, command, payload, F7. */
namespace midi::protocol
{
    enum Command : juce::uint8
    {
        identifyCommand = 0x00,
        identifyReplyCommand = 0x01,
        revisionQueryCommand = 0x03,
        updateBeginCommand = 0x51,
        updateDataCommand = 0x52 // also the update end, told apart by its length
    };

    /** 00 4B 6E 00 and the low byte of the model id: the first five data bytes of every message. */
    juce::Array<juce::uint8> deviceHeader (int modelId);

    /** The six data bytes of the identify request: 00 4B 6E 00 <model id> 00. */
    juce::Array<juce::uint8> identifyRequest (int modelId);

    /** The six data bytes of the revision query: 00 4B 6E 00 <model id> 03. */
    juce::Array<juce::uint8> revisionQuery (int modelId);

    /** The bytes that go on the wire for one send: a sequence that starts with F0 as it is
        (the image's messages are complete already), anything else, empty included, wrapped
        in F0 ... F7. */
    juce::Array<juce::uint8> frame (const juce::Array<juce::uint8>& bytes);

    /** What the link makes of a message that arrives on its input. */
    enum class Acceptance
    {
        ignored,       // not SysEx, or not from the pedal with this model id
        identifyReply, // marks the pedal as found; its bytes are not kept
        reply          // its data bytes go to the reply buffer
    };

    /** Filters one complete incoming message for the pedal with `modelId`. The header is
        compared over as many data bytes as the message has, up to five, so a short SysEx
        that matches the start of the header (F0 F7 included) counts as a reply. */
    Acceptance accept (const juce::MidiMessage& message, int modelId);

    /** Decodes the revision from a reply's data bytes (header and command first, then the
        packed 7-bit groups). False when the reply yields fewer than four unpacked bytes. */
    bool unpackRevision (const juce::Array<juce::uint8>& replyDataBytes, int& revision);
}
