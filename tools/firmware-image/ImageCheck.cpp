#include "tools/firmware-image/ImageCheck.h"

#include <cstdio>

namespace firmware::image
{
    namespace
    {
        constexpr std::uint8_t sysexStart = 0xf0;
        constexpr std::uint8_t sysexEnd = 0xf7;
        constexpr std::uint8_t deviceHeader[] = { 0x00, 0x4b, 0x6e, 0x00 };

        std::string hex (std::uint8_t byte)
        {
            char text[8];
            std::snprintf (text, sizeof (text), "0x%02X", byte);
            return text;
        }

        std::string number (std::size_t n)
        {
            return std::to_string (n);
        }

        /** The update begin and end are fixed short messages: header, command, 01, F7. */
        std::optional<Fault> checkShortMessage (const std::uint8_t* message, std::size_t length, std::size_t index,
                                                std::size_t start, std::uint8_t command, const char* what)
        {
            if (message[6] != command)
                return Fault { index, start + 6, std::string ("the ") + what + " must have the command " + hex (command) + ", not " + hex (message[6]) };

            if (length != shortMessageLength)
                return Fault { index, start, std::string ("the ") + what + " must be " + number (shortMessageLength) + " bytes long, not " + number (length) };

            if (message[7] != 0x01)
                return Fault { index, start + 7, std::string ("the ") + what + " must carry the single byte 0x01, not " + hex (message[7]) };

            return std::nullopt;
        }
    }

    std::optional<Fault> check (const std::uint8_t* data, std::size_t size, const Layout& layout)
    {
        if (size == 0)
            return Fault { 0, 0, "the image is empty" };

        std::size_t index = 0;
        std::size_t offset = 0;

        while (offset < size)
        {
            const auto start = offset;

            if (index >= layout.messageCount)
                return Fault { index, start, "there are more than the " + number (layout.messageCount) + " declared messages" };

            if (data[start] != sysexStart)
                return Fault { index, start, "a message must begin with 0xF0, not " + hex (data[start]) };

            auto end = start + 1;

            while (end < size && data[end] != sysexEnd)
            {
                if (data[end] >= 0x80)
                    return Fault { index, end, "byte " + hex (data[end]) + " inside a message; every byte between F0 and F7 must be below 0x80" };

                ++end;
            }

            if (end == size)
                return Fault { index, size, "the image ends before the message's closing F7" };

            const auto* message = data + start;
            const auto length = end - start + 1;

            if (length < headerLength + 1)
                return Fault { index, start, "a message of " + number (length) + " bytes is too short for the header and command" };

            for (std::size_t i = 0; i < sizeof (deviceHeader); ++i)
                if (message[1 + i] != deviceHeader[i])
                    return Fault { index, start + 1 + i, "the device header must be 00 4B 6E 00, but this byte is " + hex (message[1 + i]) };

            if (message[5] != layout.modelId)
                return Fault { index, start + 5, "model id " + hex (message[5]) + ", but the image is declared for " + hex (layout.modelId) };

            std::optional<Fault> fault;

            if (index == 0)
                fault = checkShortMessage (message, length, index, start, updateBeginCommand, "first message (update begin)");
            else if (index == layout.messageCount - 1)
                fault = checkShortMessage (message, length, index, start, updateDataCommand, "last message (update end)");
            else if (message[6] != updateDataCommand)
                fault = Fault { index, start + 6, "an update data message must have the command " + hex (updateDataCommand) + ", not " + hex (message[6]) };
            else if (length != dataMessageLength)
                fault = Fault { index, start, "an update data message must be " + number (dataMessageLength) + " bytes long, not " + number (length) };

            if (fault)
                return fault;

            offset = end + 1;
            ++index;
        }

        if (index < layout.messageCount)
            return Fault { index, size, "the image ends after " + number (index) + " messages; " + number (layout.messageCount) + " are declared" };

        if (size != layout.size)
            return Fault { index, size, "the image is " + number (size) + " bytes long; " + number (layout.size) + " are declared" };

        return std::nullopt;
    }

    std::string describe (const Fault& fault)
    {
        return "message " + number (fault.messageIndex) + ", byte offset " + number (fault.byteOffset) + ": " + fault.reason;
    }
}
