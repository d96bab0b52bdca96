#pragma once

#include <cstddef>
#include <cstdint>

/*  What is known about the built-in firmware image, kept beside the image file itself.
    The build-time image check, the image generator and FirmwareClass all read it from here,
    so the description and the bytes cannot drift apart unnoticed. */
namespace firmware::image
{
    inline constexpr const wchar_t* name = L"Bramblet";
    inline constexpr const wchar_t* version = L"1.0.01";
    inline constexpr int revision = 739;

    /** The pedal model the image is for: byte 5 of every message's header. */
    inline constexpr std::uint8_t modelId = 0x1a;

    /** One update begin, the update data messages, one update end. */
    inline constexpr std::size_t messageCount = 380;

    inline constexpr std::uint8_t updateBeginCommand = 0x51;
    inline constexpr std::uint8_t updateDataCommand = 0x52;
    inline constexpr std::size_t headerLength = 7; // F0, 00 4B 6E 00, model id, command
    inline constexpr std::size_t shortMessageLength = 9;
    inline constexpr std::size_t dataMessageLength = 599;
    inline constexpr std::size_t dataPayloadLength = dataMessageLength - headerLength - 1;

    /** The image's length in bytes. */
    inline constexpr std::size_t size = 226440;

    static_assert (size == 2 * shortMessageLength + (messageCount - 2) * dataMessageLength,
                   "the declared size must match the declared message layout");
}
