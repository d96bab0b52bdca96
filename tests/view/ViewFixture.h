#pragma once

#include "WindowDriver.h"
#include "message/Messages.h"
#include "support/MessagePump.h"
#include "view/MainUI.h"

#include <gtest/gtest.h>

#include <ostream>

namespace viewtest
{
    /** Everything the panel shows. */
    struct PanelState
    {
        juce::String product, device, status;
        double progress = 0.0;
        double barValue = 0.0; // what the progress bar itself reads
        bool updateEnabled = true;

        bool operator== (const PanelState& o) const
        {
            return product == o.product && device == o.device && status == o.status && progress == o.progress && barValue == o.barValue && updateEnabled == o.updateEnabled;
        }
    };

    inline std::ostream& operator<< (std::ostream& out, const PanelState& s)
    {
        return out << "{ product \"" << s.product << "\", device \"" << s.device << "\", status \""
                   << s.status << "\", progress " << s.progress << ", bar " << s.barValue
                   << ", update " << (s.updateEnabled ? "enabled" : "disabled") << " }";
    }

    inline PanelState stateOf (const view::Updater& panel)
    {
        // Only read: the bar's accessibility value is the variable it is bound to.
        auto& bar = const_cast<juce::ProgressBar&> (panel.getProgressBar());
        auto* handler = bar.getAccessibilityHandler();
        const double barValue = handler != nullptr && handler->getValueInterface() != nullptr
                                    ? handler->getValueInterface()->getCurrentValue()
                                    : -1.0;

        return { panel.getProductLabel().getText(), panel.getDeviceLabel().getText(),
                 panel.getStatusLabel().getText(), panel.getProgress(), barValue,
                 panel.getUpdateButton().isEnabled() };
    }

    /** The main window on the desktop, reporting to a recording controller. */
    class MainWindowTest : public ::testing::Test
    {
    protected:
        testsupport::RecordingController controller;
        std::unique_ptr<view::MainUI> window = std::make_unique<view::MainUI> (&controller);

        const view::Updater& panel() const { return window->getUpdater(); }

        /** Posts to the window, as the controller does, and delivers it and what follows. */
        void deliver (message::BaseMessage* message)
        {
            window->sendMessage (message);
            testsupport::drain();
        }
    };
}
