#pragma once

#include "message/ViewInterface.h"
#include "view/HelpWindow.h"
#include "view/Updater.h"

namespace view
{
    /** "Firmware Updater", the main window and the view the controller talks to. It opens the
        help window itself and passes every other message on to the update panel. Closing it
        only asks the controller to end the program. */
    class MainUI final : public ViewInterface,
                         public juce::DocumentWindow
    {
    public:
        explicit MainUI (controller::ControllerIF* controllerToReportTo);
        ~MainUI() override;

        void processMessage (message::BaseMessage* message) override;
        void closeButtonPressed() override;
        void resized() override;

        // Read-only views, for checks from outside.
        const Updater& getUpdater() const { return *updater; }
        const HelpWindow* getHelpWindow() const { return helpWindow.get(); }

    private:
        std::unique_ptr<Updater> updater;
        std::unique_ptr<HelpWindow> helpWindow;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainUI)
    };
}
