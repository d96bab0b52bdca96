#pragma once

#include "firmware/ImageFacts.h"

#include <optional>
#include <string>

/*  The container rules of a firmware image, as a plain function: the build runs it on the
    built-in image before turning it into program data, and the tests call it directly. */
namespace firmware::image
{
    /** What an image is declared to be; the defaults describe the built-in image. */
    struct Layout
    {
        std::size_t size = firmware::image::size;
        std::uint8_t modelId = firmware::image::modelId;
        std::size_t messageCount = firmware::image::messageCount;
    };

    /** The first place where an image breaks a rule. */
    struct Fault
    {
        std::size_t messageIndex; // counted from 0
        std::size_t byteOffset;   // counted from the image's first byte
        std::string reason;
    };

    /** Checks that the image is exactly the declared run of complete SysEx messages: one
        update begin, the update data messages, one update end, every message with the device
        header and model id, every byte between F0 and F7 below 0x80, nothing before, between
        or after the messages, and the declared size. Returns the first fault, if any. */
    std::optional<Fault> check (const std::uint8_t* data, std::size_t size, const Layout& layout = {});

    /** "message 17, byte offset 10300: ..." */
    std::string describe (const Fault& fault);
}
