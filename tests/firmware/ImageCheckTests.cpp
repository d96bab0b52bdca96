#include "firmware/FirmwareClass.h"
#include "tools/firmware-image/ImageCheck.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
    using Bytes = std::vector<juce::uint8>;
    namespace image = firmware::image;

    Bytes builtInImage()
    {
        FirmwareClass firmware;
        return { firmware.getData(), firmware.getData() + firmware.getSize() };
    }

    /** Where message `index` (1 to 378 for update data, 379 for the update end) begins. */
    constexpr size_t startOf (size_t index)
    {
        return image::shortMessageLength + (index - 1) * image::dataMessageLength;
    }

    const size_t endMessage = startOf (379);
}

TEST (ImageCheck, RefusesEachBrokenImageAtItsFirstFault)
{
    struct Case
    {
        const char* what;
        std::function<void (Bytes&)> breakIt;
        size_t messageIndex;
        size_t byteOffset;
        const char* reasonMentions;
        image::Layout layout = {};
    };

    const std::vector<Case> cases {
        { "unbroken", [] (Bytes&) {}, 0, 0, nullptr },
        { "empty", [] (Bytes& b) { b.clear(); }, 0, 0, "empty" },
        { "a byte before the first F0", [] (Bytes& b) { b.insert (b.begin(), 0x00); }, 0, 0, "begin with 0xF0" },
        { "a byte between two messages", [] (Bytes& b) { b.insert (b.begin() + 9, 0x7f); }, 1, 9, "begin with 0xF0" },
        { "0x80 in a payload", [] (Bytes& b) { b[startOf (17) + 100] = 0x80; }, 17, startOf (17) + 100, "below 0x80" },
        { "a message's F7 lost", [] (Bytes& b) { b[startOf (3) - 1] = 0x00; }, 2, startOf (3), "0xF0 inside a message" },
        { "another manufacturer", [] (Bytes& b) { b[startOf (3) + 2] = 0x4c; }, 3, startOf (3) + 2, "device header" },
        { "another model id", [] (Bytes& b) { b[startOf (5) + 5] = 0x1b; }, 5, startOf (5) + 5, "model id 0x1B" },
        { "update begin with the data command", [] (Bytes& b) { b[6] = 0x52; }, 0, 6, "command 0x51" },
        { "update data with the begin command", [] (Bytes& b) { b[startOf (4) + 6] = 0x51; }, 4, startOf (4) + 6, "command 0x52" },
        { "a data message one byte short", [] (Bytes& b) { b.erase (b.begin() + startOf (7) + 50); }, 7, startOf (7), "599 bytes" },
        { "a data message missing", [] (Bytes& b) { b.erase (b.begin() + startOf (200), b.begin() + startOf (201)); }, 378, startOf (378), "599 bytes" },
        { "update end with another payload", [] (Bytes& b) { b[endMessage + 7] = 0x02; }, 379, endMessage + 7, "0x01" },
        { "the final F7 missing", [] (Bytes& b) { b.pop_back(); }, 379, 226439, "closing F7" },
        { "one message too many", [] (Bytes& b) { const Bytes end (b.end() - 9, b.end()); b.insert (b.end(), end.begin(), end.end()); }, 380, 226440, "more than the 380" },
        { "a size other than the declared one", [] (Bytes&) {}, 380, 226440, "226441 are declared", { 226441 } },
    };

    for (const auto& c : cases)
    {
        auto bytes = builtInImage();
        c.breakIt (bytes);
        const auto fault = image::check (bytes.data(), bytes.size(), c.layout);

        if (c.reasonMentions == nullptr)
        {
            EXPECT_FALSE (fault.has_value()) << c.what << ": " << image::describe (*fault);
            continue;
        }

        ASSERT_TRUE (fault.has_value()) << c.what;
        EXPECT_EQ (fault->messageIndex, c.messageIndex) << c.what << ": " << image::describe (*fault);
        EXPECT_EQ (fault->byteOffset, c.byteOffset) << c.what << ": " << image::describe (*fault);
        EXPECT_NE (fault->reason.find (c.reasonMentions), std::string::npos) << c.what << ": " << fault->reason;
    }
}

TEST (ImageCheck, ToolFailsNamingMessageAndOffsetAndPassesAGoodImage)
{
    auto run = [] (const Bytes& bytes, juce::String& output) {
        juce::TemporaryFile file (".syx");
        EXPECT_TRUE (file.getFile().replaceWithData (bytes.data(), bytes.size()));

        juce::ChildProcess tool;
        EXPECT_TRUE (tool.start (juce::StringArray { FLASHWELL_CHECK_IMAGE, file.getFile().getFullPathName() }));
        output = tool.readAllProcessOutput();

        // The exit code is only known once the process has ended, which can be a moment
        // after its output has closed.
        EXPECT_TRUE (tool.waitForProcessToFinish (30000));
        return tool.getExitCode();
    };

    juce::String output;
    auto bytes = builtInImage();
    EXPECT_EQ (run (bytes, output), 0u);
    EXPECT_TRUE (output.isEmpty()) << output;

    bytes[startOf (17) + 100] = 0x80;
    EXPECT_NE (run (bytes, output), 0u);
    EXPECT_TRUE (output.contains ("error: firmware image broken at message 17, byte offset " + juce::String (startOf (17) + 100) + ": byte 0x80 inside a message"))
        << output;
}
