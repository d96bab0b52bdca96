#include "view/HelpWindow.h"

#include "view/WindowStyle.h"

namespace view
{
    HelpWindow::HelpWindow (juce::String helpText)
        : DocumentWindow ({}, windowBackground(), juce::DocumentWindow::closeButton, true)
    {
        content = std::make_unique<HelpContent> (std::move (helpText));
        setResizable (true, false);
        setContentNonOwned (content.get(), false);
        centreWithSize (550, 400);
        setName ("Firmware Update Help");
        showAppIcon (*this);
        setVisible (true);
    }

    HelpWindow::~HelpWindow()
    {
        clearContentComponent();
    }

    void HelpWindow::closeButtonPressed()
    {
        // Only hidden: the main window owns it and drops it when the next help text arrives.
        setVisible (false);
    }
}
