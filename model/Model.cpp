#include "model/Model.h"

#include "message/Messages.h"

#include <algorithm>

namespace model
{
    namespace
    {
        constexpr juce::uint8 sysexEnd = 0xf7;
        constexpr int modelIdOffset = 5; // F0, then 00 4B 6E 00, then the model id

        // Shown in the help window. Several lines end with a blank before the line feed; the
        // text is kept exactly as the pedal's documentation words it.
        const char* const helpText =
            "Firmware Update Procedure. \n"
            "The procedure requires a PC or Mac with a standard USB Interface and a 9V/100mA DC power supply. \n"
            "\n"
            "Do following steps before you start the firmware update application on your PC or Mac: \n"
            " 1. Unplug all cables from the pedal. \n"
            " 2. Remove the battery. \n"
            " 3. Connect the pedal to a PC or Mac with the USB cable. \n"
            " 4. Press and hold the footswitch on the pedal. \n"
            " 5. Insert a DC plug with 9V/100mA power supply. \n"
            " 6. Check that the LED on the pedal turns on with green light. \n"
            " 7. Release the footswitch. \n"
            "\n"
            "Now your PC or Mac will recognize the pedal which is ready to receive a new firmware: \n"
            " 8. Launch the firmware update application. \n"
            " 9. (STEP1) Select the pedal in the combo box (see note). \n"
            "10. (STEP2) Press the update button when it turns green. \n"
            "11. Wait for the progress bar to reach 100% and for the pedal to automatically restart. \n"
            "\n"
            "Note: You should select \"USB Audio Device\", if you use Windows XP.\n"
            "\n"
            "\n"
            "Trouble Shooting:\n"
            " - Please quit any MIDI related application on your PC or Mac.\n";
    }

    Model::Model (controller::ControllerIF* controllerToReportTo, FirmwareBaseClass* image)
        : ModelInterface (controllerToReportTo), firmware (image)
    {
        readCursor = firmware->getData();

        while (nextPackage().size() > 0)
            ++packageCount;

        reset();
    }

    void Model::processMessage (message::BaseMessage* m)
    {
        using namespace message;

        switch (m->type)
        {
            case MessageType::helpRequest:
                post (controller, new HelpResponse (getHelpText()));
                break;

            case MessageType::updateRequest:
                reset();
                break;

            case MessageType::productInfoRequest:
                post (controller, new ProductInfoResponse (getProductLine()));
                break;

            case MessageType::nextPackageRequest:
            {
                // The index and count as they stand before this request is served; the index
                // grows on every request, so requests past the end carry indices >= the count.
                const auto index = static_cast<juce::uint32> (packageIndex);
                const auto package = nextPackage();
                post (controller, new NextPackageResponse (index, static_cast<juce::uint32> (packageCount), package));
                ++packageIndex;
                break;
            }

            case MessageType::modelIdRequest:
                answerModelId();
                break;

            case MessageType::svnNumberRequest:
                post (controller, new SVNUpdate (firmware->getRevision(), SVNUpdate::fromImage));
                break;

            default:
                break;
        }
    }

    juce::Array<juce::uint8> Model::nextPackage()
    {
        const auto size = firmware->getSize();

        if (bytesHandedOut >= size)
            return {};

        // The search also stops at the image's end: a last message that lacks its F7 becomes
        // a short final package instead of a read past the image.
        const auto* imageEnd = firmware->getData() + size;
        const auto* f7 = std::find (readCursor, imageEnd, sysexEnd);
        const auto* packageEnd = f7 == imageEnd ? imageEnd : f7 + 1;
        const auto length = static_cast<int> (packageEnd - readCursor);

        juce::Array<juce::uint8> package (readCursor, length);
        bytesHandedOut += static_cast<juce::uint32> (length);
        readCursor = packageEnd;
        return package;
    }

    juce::String Model::getProductName()
    {
        return firmware->getName();
    }

    juce::String Model::getVersion()
    {
        return firmware->getVersion();
    }

    juce::String Model::getRevisionText()
    {
        return juce::String (firmware->getRevision());
    }

    juce::String Model::getHelpText()
    {
        return juce::String::fromUTF8 (helpText);
    }

    void Model::reset()
    {
        readCursor = firmware->getData();
        packageIndex = 0;
        bytesHandedOut = 0;
    }

    juce::String Model::getProductLine()
    {
        auto line = "This software updater will update your " + getProductName() + " firmware to version " + getVersion();
        const auto revision = getRevisionText();

        if (revision != juce::String())
            line << " - R" << revision;

        return line;
    }

    void Model::answerModelId()
    {
        // An image too short to hold a header has no model id; guessing one would send the
        // search after some other pedal, so no answer is given.
        if (firmware->getData() == nullptr || firmware->getSize() <= static_cast<juce::uint32> (modelIdOffset))
            return;

        post (controller, new message::ModelIdResponse (firmware->getData()[modelIdOffset]));
    }
}
