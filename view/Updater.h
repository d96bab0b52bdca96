#pragma once

#include "message/ViewInterface.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace view
{
    /** The update panel inside the main window: the product, device and status lines, the
        progress bar and the "update" and "Help" buttons. It shows what the controller sends
        and posts the user's clicks to the controller. */
    class Updater final : public juce::Component,
                          public juce::Button::Listener,
                          public ViewInterface
    {
    public:
        explicit Updater (controller::ControllerIF* controllerToReportTo);
        ~Updater() override;

        void resized() override;
        void buttonClicked (juce::Button* button) override;
        void processMessage (message::BaseMessage* message) override;

        // Read-only views of the controls, for checks from outside.
        double getProgress() const { return progress; }
        const juce::TextButton& getUpdateButton() const { return *updateButton; }
        const juce::ProgressBar& getProgressBar() const { return *progressBar; }
        const juce::Label& getProgressLabel() const { return *progressLabel; }
        const juce::TextButton& getHelpButton() const { return *helpButton; }
        const juce::Label& getProductLabel() const { return *productLabel; }
        const juce::Label& getStatusLabel() const { return *statusLabel; }
        const juce::Label& getDeviceLabel() const { return *deviceLabel; }

    private:
        double progress = 0.0;
        std::unique_ptr<juce::TextButton> updateButton;
        std::unique_ptr<juce::ProgressBar> progressBar;
        std::unique_ptr<juce::Label> progressLabel;
        std::unique_ptr<juce::TextButton> helpButton;
        std::unique_ptr<juce::Label> productLabel;
        std::unique_ptr<juce::Label> statusLabel;
        std::unique_ptr<juce::Label> deviceLabel;
        juce::LookAndFeel_V3 lookAndFeel;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Updater)
    };
}
