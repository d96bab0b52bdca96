#include "firmware/FirmwareClass.h"
#include "firmware/ImageFacts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace
{
    using Bytes = std::vector<juce::uint8>;

    Bytes builtInImage()
    {
        FirmwareClass firmware;
        return { firmware.getData(), firmware.getData() + firmware.getSize() };
    }

    /** Cuts after every F7; whatever follows the last F7 comes back as `rest`. */
    std::vector<Bytes> cutAfterEveryF7 (const Bytes& image, Bytes& rest)
    {
        std::vector<Bytes> messages;
        Bytes current;

        for (auto byte : image)
        {
            current.push_back (byte);

            if (byte == 0xf7)
                messages.push_back (std::exchange (current, {}));
        }

        rest = current;
        return messages;
    }
}

TEST (BuiltInImage, IsTheBrambletFirmwareInProgramData)
{
    FirmwareClass firmware;
    const auto* data = firmware.getData();

    ASSERT_NE (data, nullptr);
    ASSERT_EQ (firmware.getSize(), 226440u);
    EXPECT_EQ (data[0], 0xf0);
    EXPECT_EQ (data[5], 0x1a);
    EXPECT_EQ (data[firmware.getSize() - 1], 0xf7);

    EXPECT_EQ (firmware.getName(), "Bramblet");
    EXPECT_EQ (firmware.getVersion(), "1.0.01");
    EXPECT_EQ (firmware.getRevision(), 739);
    EXPECT_EQ (firmware.getTag(), 0);

    // Every image object reads the one array; none copies it.
    FirmwareClass another;
    EXPECT_EQ (another.getData(), data);
}

TEST (BuiltInImage, CutsIntoUpdateBeginDataMessagesInOrderAndUpdateEnd)
{
    Bytes rest;
    const auto messages = cutAfterEveryF7 (builtInImage(), rest);

    EXPECT_TRUE (rest.empty());
    ASSERT_EQ (messages.size(), 380u);
    EXPECT_EQ (messages.front(), (Bytes { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x51, 0x01, 0xf7 }));
    EXPECT_EQ (messages.back(), (Bytes { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x52, 0x01, 0xf7 }));

    const Bytes dataHeader { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x52 };

    for (size_t i = 1; i < 379; ++i)
    {
        const auto& m = messages[i];
        ASSERT_EQ (m.size(), 599u) << "message " << i;
        EXPECT_TRUE (std::equal (dataHeader.begin(), dataHeader.end(), m.begin())) << "message " << i;

        // Each data message carries its own number first, so a lost, repeated or swapped
        // message on the way to the pedal would show in its bytes.
        EXPECT_EQ ((m[7] << 7) | m[8], static_cast<int> (i)) << "message " << i;
    }
}

TEST (BuiltInImage, IsExactlyWhatTheGeneratorMakes)
{
    juce::TemporaryFile output (".syx");
    juce::ChildProcess generator;

    ASSERT_TRUE (generator.start (juce::StringArray { FLASHWELL_MAKE_IMAGE, output.getFile().getFullPathName() }));
    const auto messages = generator.readAllProcessOutput();
    ASSERT_TRUE (generator.waitForProcessToFinish (30000)); // the exit code is known only then
    ASSERT_EQ (generator.getExitCode(), 0u) << messages;

    juce::MemoryBlock generated;
    ASSERT_TRUE (output.getFile().loadFileAsData (generated));

    const auto image = builtInImage();
    ASSERT_EQ (generated.getSize(), image.size());
    EXPECT_EQ (std::memcmp (generated.getData(), image.data(), image.size()), 0)
        << "the committed image is not the generator's output; run the generator again";
}

TEST (FirmwareBaseClass, BareImageHoldsNoBytes)
{
    FirmwareBaseClass bare ("Pedal", "0.1", 5);

    EXPECT_EQ (bare.getData(), nullptr);
    EXPECT_EQ (bare.getSize(), 0u);
    EXPECT_EQ (bare.getTag(), 0);
    EXPECT_EQ (bare.getName(), "Pedal");
    EXPECT_EQ (bare.getVersion(), "0.1");
    EXPECT_EQ (bare.getRevision(), 5);
}
