#include "ViewFixture.h"

using namespace message;
using namespace viewtest;

namespace
{
    juce::String tooltipOf (const juce::TextButton& button)
    {
        return const_cast<juce::TextButton&> (button).getTooltip(); // only read
    }

    void expectLayout (const view::Updater& panel)
    {
        const int w = panel.getWidth();

        const std::pair<const char*, const juce::Component*> controls[] = {
            { "product", &panel.getProductLabel() },
            { "help", &panel.getHelpButton() },
            { "device", &panel.getDeviceLabel() },
            { "status", &panel.getStatusLabel() },
            { "update", &panel.getUpdateButton() },
            { "progress bar", &panel.getProgressBar() },
        };

        const juce::Rectangle<int> expected[] = {
            { 10, 15, w - 20, 50 },
            { w - 104, 2, 94, 30 },
            { 10, 65, w - 20, 30 },
            { 10, 95, w - 20, 30 },
            { w - 104, 165, 94, 30 },
            { 10, 165, w - 114, 30 },
        };

        for (size_t i = 0; i < std::size (controls); ++i)
        {
            EXPECT_EQ (controls[i].second->getBounds(), expected[i]) << controls[i].first << " at width " << w;
            EXPECT_TRUE (panel.getLocalBounds().contains (controls[i].second->getBounds())) << controls[i].first << " is clipped";
        }

        // The bar ends where the button begins; its label sits in the gap above it.
        const auto& bar = panel.getProgressBar();
        const auto label = panel.getProgressLabel().getBounds();
        EXPECT_EQ (bar.getRight(), panel.getUpdateButton().getX());
        EXPECT_EQ (label.getX(), bar.getX());
        EXPECT_EQ (label.getWidth(), bar.getWidth());
        EXPECT_EQ (label.getBottom(), bar.getY());
        EXPECT_GE (label.getY(), panel.getStatusLabel().getBottom());
    }
}

TEST_F (MainWindowTest, ThePanelFillsTheWindowAndLaysOutItsControls)
{
    const auto contentArea = window->getContentComponentBorder().subtractedFrom (window->getLocalBounds());
    EXPECT_EQ (panel().getBounds(), contentArea);
    EXPECT_GT (panel().getWidth(), 600);

    expectLayout (panel());
}

TEST (UpdatePanel, LayoutFollowsAnyWidth)
{
    testsupport::RecordingController controller;
    view::Updater panel (&controller);

    for (int width : { 500, 800 })
    {
        panel.setSize (width, 240);
        expectLayout (panel);
    }
}

TEST_F (MainWindowTest, ControlsStartWithTheirTextsAndTooltips)
{
    const auto& p = panel();

    EXPECT_EQ (p.getProductLabel().getText(), "This software updater will update your Firmware");
    EXPECT_EQ (p.getDeviceLabel().getText(), "Device: ");
    EXPECT_EQ (p.getStatusLabel().getText(), "");
    EXPECT_EQ (p.getProgressLabel().getText(), "Update progress:");
    EXPECT_EQ (p.getUpdateButton().getButtonText(), "update");
    EXPECT_EQ (tooltipOf (p.getUpdateButton()), "click here to update the product");
    EXPECT_EQ (p.getHelpButton().getButtonText(), "Help");
    EXPECT_EQ (tooltipOf (p.getHelpButton()), "click here to get help");
    EXPECT_TRUE (p.getUpdateButton().isEnabled());
    EXPECT_EQ (p.getProgress(), 0.0);

    for (const juce::Component* c : { static_cast<const juce::Component*> (&p.getProductLabel()), static_cast<const juce::Component*> (&p.getDeviceLabel()),
                                      static_cast<const juce::Component*> (&p.getStatusLabel()), static_cast<const juce::Component*> (&p.getProgressLabel()),
                                      static_cast<const juce::Component*> (&p.getProgressBar()), static_cast<const juce::Component*> (&p.getUpdateButton()),
                                      static_cast<const juce::Component*> (&p.getHelpButton()) })
    {
        EXPECT_EQ (c->getParentComponent(), &p);
        EXPECT_TRUE (c->isVisible());
    }

    // The help button overlaps the product line's top right and must be drawn over it.
    EXPECT_GT (p.getIndexOfChildComponent (&p.getHelpButton()), p.getIndexOfChildComponent (&p.getProductLabel()));
}

TEST_F (MainWindowTest, ClickingUpdateRestartsTheBarAndRequestsTheUpdate)
{
    deliver (new ProgressUpdate (0.6));

    click (panel().getUpdateButton());

    EXPECT_EQ (panel().getProgress(), 0.0); // before the controller could answer
    testsupport::drain();
    EXPECT_EQ (controller.types(), std::vector<int> { updateRequest });
}

TEST_F (MainWindowTest, ClickingTheDisabledUpdateButtonDoesNothing)
{
    deliver (new ProgressUpdate (0.6));
    deliver (new UpdateButtonDisable());

    click (panel().getUpdateButton());
    testsupport::drain();

    EXPECT_TRUE (controller.received.empty());
    EXPECT_EQ (panel().getProgress(), 0.6);

    deliver (new UpdateButtonEnable());
    click (panel().getUpdateButton());
    testsupport::drain();
    EXPECT_EQ (controller.types(), std::vector<int> { updateRequest });
}

TEST_F (MainWindowTest, ClickingHelpRequestsTheHelpText)
{
    click (panel().getHelpButton());
    click (panel().getHelpButton());
    testsupport::drain();

    EXPECT_EQ (controller.types(), (std::vector<int> { helpRequest, helpRequest }));
    EXPECT_EQ (window->getHelpWindow(), nullptr); // the window opens for the answer, not the click
}
