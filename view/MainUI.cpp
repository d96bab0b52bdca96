#include "view/MainUI.h"

#include "message/Messages.h"
#include "view/WindowStyle.h"

namespace view
{
    MainUI::MainUI (controller::ControllerIF* controllerToReportTo)
        : ViewInterface (controllerToReportTo),
          DocumentWindow ("Firmware Updater", windowBackground(), juce::DocumentWindow::closeButton, true)
    {
        // Built once the window is on the desktop, so the panel's style reaches the window too.
        updater = std::make_unique<Updater> (controllerToReportTo);
        setResizable (true, false);
        setContentNonOwned (updater.get(), false);
        showAppIcon (*this);
        setVisible (true);
        centreWithSize (650, 270);
        setResizeLimits (650, 270, 650, 270);
    }

    MainUI::~MainUI()
    {
        helpWindow.reset();
        clearContentComponent();
        updater.reset();
    }

    void MainUI::processMessage (message::BaseMessage* message)
    {
        if (message->type == message::MessageType::helpResponse)
        {
            // The new window is up before the old one, shown or hidden, goes.
            helpWindow = std::make_unique<HelpWindow> (static_cast<message::HelpResponse*> (message)->text);
            return;
        }

        message::forward (updater.get(), message);
    }

    void MainUI::closeButtonPressed()
    {
        // The controller decides how the program ends; the window stays until then.
        message::post (controller, new message::CloseRequest());
    }

    void MainUI::resized()
    {
        DocumentWindow::resized();

        // The limits bind only JUCE's own border; a window manager or another program may
        // resize the window behind its back, and the panel's layout is made for 650 x 270.
        if (auto* limits = getConstrainer())
        {
            const int width = juce::jlimit (limits->getMinimumWidth(), limits->getMaximumWidth(), getWidth());
            const int height = juce::jlimit (limits->getMinimumHeight(), limits->getMaximumHeight(), getHeight());

            if (width != getWidth() || height != getHeight())
                setSize (width, height);
        }
    }
}
