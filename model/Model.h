#pragma once

#include "firmware/FirmwareBaseClass.h"
#include "message/ModelInterface.h"

namespace model
{
    /** Knows the firmware image: answers what the rest of the program asks about it (help
        text, product line, model id, revision) and hands it out one package at a time, a
        package being one complete SysEx message of the image, F0 through F7.
        Lives on the message thread; every reply goes to the controller. */
    class Model final : public ModelInterface
    {
    public:
        /** Neither pointer is owned; the image must outlive the model. */
        Model (controller::ControllerIF* controllerToReportTo, FirmwareBaseClass* image);
        ~Model() override = default;

        void processMessage (message::BaseMessage* message) override;

        /** The next message of the image, or an empty package once the image is exhausted. */
        juce::Array<juce::uint8> nextPackage();

        juce::String getProductName();
        juce::String getVersion();
        juce::String getRevisionText();
        juce::String getHelpText();

        /** Starts the package iteration again at the image's first byte. */
        void reset();

    private:
        juce::String getProductLine();
        void answerModelId();

        int packageIndex = 0;
        int packageCount = 0;
        juce::uint32 bytesHandedOut = 0;
        FirmwareBaseClass* const firmware;
        const juce::uint8* readCursor = nullptr;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Model)
    };
}
