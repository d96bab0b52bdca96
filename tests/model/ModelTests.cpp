#include "firmware/FirmwareClass.h"
#include "message/Messages.h"
#include "model/Model.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <functional>

using namespace message;
using testsupport::Received;

namespace
{
    using Bytes = std::vector<juce::uint8>;

    const Bytes updateBegin { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x51, 0x01, 0xf7 };
    const Bytes updateEnd { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x52, 0x01, 0xf7 };

    /** An image made by hand, over bytes the test owns. */
    class HandMadeImage final : public FirmwareBaseClass
    {
    public:
        explicit HandMadeImage (const Bytes& bytes, juce::String name = "Pedal", juce::String version = "0.1", int revision = 1)
            : FirmwareBaseClass (std::move (name), std::move (version), revision)
        {
            data = bytes.empty() ? nullptr : bytes.data();
            size = static_cast<juce::int64> (bytes.size());
        }
    };

    /** A model over an image, reporting to a recording controller. */
    struct ModelUnderTest
    {
        explicit ModelUnderTest (FirmwareBaseClass& image) : model (&controller, &image) {}

        /** Posts the requests to the model and returns what it answered to them. */
        std::vector<Received> ask (const std::vector<std::function<BaseMessage*()>>& requests)
        {
            const auto before = controller.received.size();

            for (auto& make : requests)
                model.sendMessage (make());

            testsupport::drain();
            return { controller.received.begin() + static_cast<long> (before), controller.received.end() };
        }

        std::vector<Received> askForPackages (int n)
        {
            return ask (std::vector<std::function<BaseMessage*()>> (static_cast<size_t> (n), [] { return new NextPackageRequest(); }));
        }

        testsupport::RecordingController controller;
        model::Model model;
    };

    const NextPackageResponse& asPackage (const Received& r)
    {
        return *static_cast<const NextPackageResponse*> (r.object.get());
    }

    Bytes bytesOf (const NextPackageResponse& response)
    {
        return { response.data.begin(), response.data.end() };
    }

    Bytes imageBytes (FirmwareBaseClass& image)
    {
        return { image.getData(), image.getData() + image.getSize() };
    }
}

TEST (ModelPackages, HandsOutTheImageMessageByMessageThenEmptyPackages)
{
    FirmwareClass firmware;
    ModelUnderTest m (firmware);

    const auto responses = m.askForPackages (382);
    ASSERT_EQ (responses.size(), 382u);

    Bytes handedOut;

    for (size_t i = 0; i < responses.size(); ++i)
    {
        ASSERT_EQ (responses[i].type, MessageType::nextPackageResponse);
        const auto& r = asPackage (responses[i]);
        EXPECT_EQ (r.index, i);
        EXPECT_EQ (r.count, 380u);

        const auto expectedLength = i == 0 || i == 379 ? 9 : (i < 379 ? 599 : 0);
        EXPECT_EQ (r.data.size(), expectedLength) << "package " << i;
        handedOut.insert (handedOut.end(), r.data.begin(), r.data.end());
    }

    EXPECT_EQ (bytesOf (asPackage (responses[0])), updateBegin);
    EXPECT_EQ (bytesOf (asPackage (responses[379])), updateEnd);
    EXPECT_TRUE (handedOut == imageBytes (firmware)) << "the packages together are not the image";
}

TEST (ModelPackages, UpdateRequestRewindsInMidIteration)
{
    FirmwareClass firmware;
    ModelUnderTest m (firmware);

    m.askForPackages (5);
    EXPECT_TRUE (m.ask ({ [] { return new UpdateRequest(); } }).empty()) << "a rewind answers nothing";

    // The whole image again, and then the end, exactly where it belongs.
    const auto responses = m.askForPackages (381);
    ASSERT_EQ (responses.size(), 381u);
    EXPECT_EQ (asPackage (responses[0]).index, 0u);
    EXPECT_EQ (bytesOf (asPackage (responses[0])), updateBegin);
    EXPECT_EQ (asPackage (responses[1]).index, 1u);

    Bytes handedOut;

    for (size_t i = 0; i < 380; ++i)
        handedOut.insert (handedOut.end(), asPackage (responses[i]).data.begin(), asPackage (responses[i]).data.end());

    EXPECT_TRUE (handedOut == imageBytes (firmware));
    EXPECT_EQ (asPackage (responses[380]).index, 380u);
    EXPECT_TRUE (asPackage (responses[380]).data.isEmpty());
}

TEST (ModelQuestions, AnswersEachRequestWhateverThePackagePosition)
{
    FirmwareClass firmware;
    ModelUnderTest m (firmware);
    m.askForPackages (3); // the model id must come from the image's start, not the read position

    struct Row
    {
        std::function<BaseMessage*()> request;
        std::function<BaseMessage*()> expectedAnswer; // null: no answer
    };

    const std::vector<Row> rows {
        { [] { return new ModelIdRequest(); }, [] { return new ModelIdResponse (0x1a); } },
        { [] { return new SVNNumberRequest(); }, [] { return new SVNUpdate (739, 3); } },
        { [] { return new ProductInfoRequest(); },
          [] { return new ProductInfoResponse ("This software updater will update your Bramblet firmware to version 1.0.01 - R739"); } },
        { [] { return new HelpResponse ("help"); }, nullptr },
        { [] { return new CloseRequest(); }, nullptr },
        { [] { return new UpdateButtonEnable(); }, nullptr },
        { [] { return new NextPackageResponse (0, 1, {}); }, nullptr },
        { [] { return new SVNUpdate (739, 2); }, nullptr },
        { [] { return new DeviceFound ("Bramblet boot"); }, nullptr },
    };

    for (const auto& row : rows)
    {
        auto* request = row.request();
        const auto type = request->type;
        const auto answers = m.ask ({ [request] { return request; } });

        if (row.expectedAnswer == nullptr)
        {
            EXPECT_TRUE (answers.empty()) << "type " << type;
            continue;
        }

        const juce::Message::Ptr expected (row.expectedAnswer());
        ASSERT_EQ (answers.size(), 1u) << "type " << type;
        EXPECT_TRUE (static_cast<const BaseMessage*> (answers[0].object.get())->equals (*static_cast<const BaseMessage*> (expected.get())))
            << "type " << type;
    }
}

TEST (ModelQuestions, HelpTextIsTheUpdateProcedureByteForByte)
{
    const std::string expected =
        "Firmware Update Procedure. \nThe procedure requires a PC or Mac with a standard USB Interface and a 9V/100mA DC power supply. \n\nDo following steps before you start the firmware update application on your PC or Mac: \n 1. Unplug all cables from the pedal. \n 2. Remove the battery. \n 3. Connect the pedal to a PC or Mac with the USB cable. \n 4. Press and hold the footswitch on the pedal. \n 5. Insert a DC plug with 9V/100mA power supply. \n 6. Check that the LED on the pedal turns on with green light. \n 7. Release the footswitch. \n\nNow your PC or Mac will recognize the pedal which is ready to receive a new firmware: \n 8. Launch the firmware update application. \n 9. (STEP1) Select the pedal in the combo box (see note). \n10. (STEP2) Press the update button when it turns green. \n11. Wait for the progress bar to reach 100% and for the pedal to automatically restart. \n\nNote: You should select \"USB Audio Device\", if you use Windows XP.\n\n\nTrouble Shooting:\n - Please quit any MIDI related application on your PC or Mac.\n";
    ASSERT_EQ (expected.size(), 1019u);

    FirmwareClass firmware;
    ModelUnderTest m (firmware);
    const auto answers = m.ask ({ [] { return new HelpRequest(); } });

    ASSERT_EQ (answers.size(), 1u);
    ASSERT_EQ (answers[0].type, MessageType::helpResponse);
    EXPECT_EQ (static_cast<const HelpResponse*> (answers[0].object.get())->text.toStdString(), expected);
}

TEST (ModelQuestions, ProductLineNamesTheImageItDescribes)
{
    const Bytes bytes { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x22, 0x51, 0x01, 0xf7 };
    HandMadeImage other (bytes, "Thornback", "2.3.45", 12);
    ModelUnderTest m (other);

    const auto answers = m.ask ({ [] { return new ProductInfoRequest(); }, [] { return new ModelIdRequest(); } });

    ASSERT_EQ (answers.size(), 2u);
    EXPECT_EQ (static_cast<const ProductInfoResponse*> (answers[0].object.get())->text,
               "This software updater will update your Thornback firmware to version 2.3.45 - R12");
    EXPECT_EQ (static_cast<const ModelIdResponse*> (answers[1].object.get())->modelId, 0x22);
}

TEST (ModelBrokenImages, LastMessageWithoutF7EndsAtTheImageEnd)
{
    // Exactly as long as the image, so a read past its end is a heap overflow under the
    // address sanitizer, and otherwise shows as a longer last package.
    const Bytes bytes { 0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x51, 0x01, 0xf7,
                        0xf0, 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x52, 0x01 };
    HandMadeImage broken (bytes);
    ModelUnderTest m (broken);

    const auto responses = m.askForPackages (3);

    ASSERT_EQ (responses.size(), 3u);
    EXPECT_EQ (asPackage (responses[0]).count, 2u);
    EXPECT_EQ (bytesOf (asPackage (responses[0])), updateBegin);
    EXPECT_EQ (bytesOf (asPackage (responses[1])), Bytes (bytes.begin() + 9, bytes.end()));
    EXPECT_TRUE (asPackage (responses[2]).data.isEmpty());
}

TEST (ModelBrokenImages, ImageTooShortForAHeaderGivesNoModelId)
{
    struct Case
    {
        const char* what;
        Bytes bytes;
        juce::uint32 packageCount;
    };

    const std::vector<Case> cases {
        { "no bytes at all", {}, 0 },
        { "one tiny message", { 0xf0, 0x00, 0xf7 }, 1 },
    };

    for (const auto& c : cases)
    {
        HandMadeImage image (c.bytes);
        ModelUnderTest m (image);

        const auto answers = m.ask ({ [] { return new ModelIdRequest(); }, [] { return new NextPackageRequest(); } });

        ASSERT_EQ (answers.size(), 1u) << c.what;
        ASSERT_EQ (answers[0].type, MessageType::nextPackageResponse) << c.what;
        EXPECT_EQ (asPackage (answers[0]).count, c.packageCount) << c.what;
        EXPECT_EQ (bytesOf (asPackage (answers[0])), c.bytes) << c.what;
    }
}
