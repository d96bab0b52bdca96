#include "ViewFixture.h"

#include "view/WindowStyle.h"

#include <functional>

using namespace message;
using namespace viewtest;

namespace
{
    const juce::String productLine = "This software updater will update your Bramblet firmware to version 1.0.01 - R739";

    /** A message of a type the view has no use for, including codes that have no class. */
    class Stray final : public BaseMessage
    {
    public:
        explicit Stray (int code) : BaseMessage (code) {}
    };

    juce::Rectangle<int> primaryUserArea()
    {
        return juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    }
}

TEST_F (MainWindowTest, EveryMessageChangesOnlyWhatItNames)
{
    struct Step
    {
        const char* what;
        std::function<BaseMessage*()> make;
        std::function<void (PanelState&)> change;
    };

    const Step steps[] = {
        { "product line", [] { return new ProductInfoResponse (productLine); }, [] (PanelState& s) { s.product = productLine; } },
        { "button disabled", [] { return new UpdateButtonDisable(); }, [] (PanelState& s) { s.updateEnabled = false; } },
        { "disabled again", [] { return new UpdateButtonDisable(); }, [] (PanelState&) {} },
        { "button enabled", [] { return new UpdateButtonEnable(); }, [] (PanelState& s) { s.updateEnabled = true; } },
        { "status text", [] { return new TextMessage ("Firmware upgrade successful"); }, [] (PanelState& s) { s.status = "Status: Firmware upgrade successful"; } },
        { "empty status text", [] { return new TextMessage (juce::String()); }, [] (PanelState& s) { s.status = "Status: "; } },
        { "progress", [] { return new ProgressUpdate (0.25); }, [] (PanelState& s) { s.progress = s.barValue = 0.25; } },
        { "progress full", [] { return new ProgressUpdate (1.0); }, [] (PanelState& s) { s.progress = s.barValue = 1.0; } },
        { "no device", [] { return new DeviceNotFound(); }, [] (PanelState& s) { s.device = "Device: Not found"; } },
        { "device not in boot mode", [] { return new DeviceFound ("Bramblet"); }, [] (PanelState& s) { s.device = "Device: Bramblet"; s.status = "Status: Device is not in boot mode"; } },
        { "status before a boot device", [] { return new TextMessage ("earlier"); }, [] (PanelState& s) { s.status = "Status: earlier"; } },
        { "boot, small letters", [] { return new DeviceFound ("Bramblet boot"); }, [] (PanelState& s) { s.device = "Device: Bramblet boot"; } },
        { "BOOT, capitals", [] { return new DeviceFound ("BRAMBLET BOOT"); }, [] (PanelState& s) { s.device = "Device: BRAMBLET BOOT"; } },
        { "Boot, mixed, inside a word", [] { return new DeviceFound ("Bramblet Bootloader MIDI 1"); }, [] (PanelState& s) { s.device = "Device: Bramblet Bootloader MIDI 1"; } },
        { "bOoT at the end of a word", [] { return new DeviceFound ("ReBOoT"); }, [] (PanelState& s) { s.device = "Device: ReBOoT"; } },
        { "no device after one was found", [] { return new DeviceNotFound(); }, [] (PanelState& s) { s.device = "Device: Not found"; } },
        { "letters apart are not boot", [] { return new DeviceFound ("Bramblet b o o t"); }, [] (PanelState& s) { s.device = "Device: Bramblet b o o t"; s.status = "Status: Device is not in boot mode"; } },
        { "an empty name", [] { return new DeviceFound (juce::String()); }, [] (PanelState& s) { s.device = "Device: "; } },
    };

    PanelState expected = stateOf (panel());
    ASSERT_EQ (expected, (PanelState { "This software updater will update your Firmware", "Device: ", {}, 0.0, 0.0, true }));

    for (auto& step : steps)
    {
        step.change (expected);
        deliver (step.make());
        EXPECT_EQ (stateOf (panel()), expected) << step.what;
    }

    EXPECT_TRUE (controller.received.empty());
    EXPECT_EQ (window->getHelpWindow(), nullptr);
}

TEST_F (MainWindowTest, MessagesForThePanelKeepTheirOrder)
{
    window->sendMessage (new TextMessage ("first"));
    window->sendMessage (new ProgressUpdate (0.5));
    window->sendMessage (new TextMessage ("second"));
    window->sendMessage (new ProgressUpdate (0.75));
    testsupport::drain();

    EXPECT_EQ (panel().getStatusLabel().getText(), "Status: second");
    EXPECT_EQ (panel().getProgress(), 0.75);
}

TEST_F (MainWindowTest, TypesThePanelIgnoresChangeNothing)
{
    deliver (new ProductInfoResponse (productLine));
    deliver (new DeviceFound ("Bramblet boot"));
    deliver (new TextMessage ("working"));
    deliver (new ProgressUpdate (0.4));
    deliver (new UpdateButtonDisable());
    const auto before = stateOf (panel());

    const std::vector<std::pair<const char*, std::function<BaseMessage*()>>> ignored {
        { "HelpRequest", [] { return new HelpRequest(); } },
        { "CloseRequest", [] { return new CloseRequest(); } },
        { "UpdateRequest", [] { return new UpdateRequest(); } },
        { "ProductInfoRequest", [] { return new ProductInfoRequest(); } },
        { "NextPackageRequest", [] { return new NextPackageRequest(); } },
        { "NextPackageResponse", [] { return new NextPackageResponse (3, 380, juce::Array<juce::uint8> { 0xf0, 0xf7 }); } },
        { "ModelIdRequest", [] { return new ModelIdRequest(); } },
        { "ModelIdResponse", [] { return new ModelIdResponse (0x1a); } },
        { "SVNUpdate", [] { return new SVNUpdate (739, SVNUpdate::fromDevice); } },
        { "SVNNumberRequest", [] { return new SVNNumberRequest(); } },
        { "UpdateStatus", [] { return new UpdateStatus (1); } },
        { "code 8", [] { return new Stray (8); } },
        { "code 18", [] { return new Stray (18); } },
        { "code 22", [] { return new Stray (22); } },
        { "code -1", [] { return new Stray (-1); } },
    };

    for (auto& [name, make] : ignored)
    {
        deliver (make());
        EXPECT_EQ (stateOf (panel()), before) << name;
    }

    EXPECT_TRUE (controller.received.empty());
    EXPECT_EQ (window->getHelpWindow(), nullptr);
}

TEST_F (MainWindowTest, EachHelpResponseLeavesExactlyOneHelpWindowTheNewerOne)
{
    deliver (new HelpResponse ("first text"));
    juce::Component::SafePointer<juce::Component> first (const_cast<view::HelpWindow*> (window->getHelpWindow()));
    ASSERT_NE (first, nullptr);
    EXPECT_EQ (window->getHelpWindow()->getContent().getEditor().getText(), "first text");

    deliver (new HelpResponse ("second text"));
    EXPECT_EQ (first, nullptr);
    ASSERT_NE (window->getHelpWindow(), nullptr);
    EXPECT_EQ (window->getHelpWindow()->getContent().getEditor().getText(), "second text");
    EXPECT_TRUE (window->getHelpWindow()->isVisible());
    EXPECT_EQ (countDesktopWindowsNamed ("Firmware Update Help"), 1);

    // Only the window handles help; nothing reaches the panel or the controller.
    EXPECT_EQ (stateOf (panel()).status, "");
    EXPECT_TRUE (controller.received.empty());
}

TEST_F (MainWindowTest, AHelpResponseAfterClosingReplacesTheHiddenWindowAtItsInitialPlace)
{
    deliver (new HelpResponse ("text"));
    auto* help = const_cast<view::HelpWindow*> (window->getHelpWindow());
    ASSERT_NE (help, nullptr);
    const auto initialBounds = help->getBounds();

    help->setBounds (20, 30, 300, 200);
    click (*help->getCloseButton());
    testsupport::drain();

    juce::Component::SafePointer<juce::Component> hidden (help);
    ASSERT_NE (hidden, nullptr);
    EXPECT_FALSE (hidden->isVisible());
    EXPECT_EQ (window->getHelpWindow(), help);
    EXPECT_TRUE (controller.received.empty());

    deliver (new HelpResponse ("text"));
    EXPECT_EQ (hidden, nullptr);
    ASSERT_NE (window->getHelpWindow(), nullptr);
    EXPECT_TRUE (window->getHelpWindow()->isVisible());
    EXPECT_EQ (window->getHelpWindow()->getBounds(), initialBounds);
    EXPECT_EQ (countDesktopWindowsNamed ("Firmware Update Help"), 1);
}

TEST_F (MainWindowTest, ClosingOnlyAsksTheControllerEachTime)
{
    click (*window->getCloseButton());
    click (*window->getCloseButton());
    window->userTriedToCloseWindow(); // the system's own close command
    testsupport::drain();

    EXPECT_EQ (controller.types(), (std::vector<int> { closeRequest, closeRequest, closeRequest }));
    EXPECT_TRUE (window->isVisible());
    EXPECT_TRUE (window->isOnDesktop());
    EXPECT_EQ (countDesktopWindowsNamed ("Firmware Updater"), 1);
}

TEST_F (MainWindowTest, ClosingTheHelpWindowOnlyHidesIt)
{
    deliver (new HelpResponse ("text"));
    auto* help = const_cast<view::HelpWindow*> (window->getHelpWindow());
    ASSERT_NE (help, nullptr);

    help->userTriedToCloseWindow();
    testsupport::drain();

    EXPECT_EQ (window->getHelpWindow(), help);
    EXPECT_FALSE (help->isVisible());
    EXPECT_TRUE (window->isVisible());
    EXPECT_TRUE (controller.received.empty());
}

TEST_F (MainWindowTest, BothWindowsHaveTheirTitleSizePlaceAndFrame)
{
    deliver (new HelpResponse ("text"));

    struct Expected
    {
        const juce::DocumentWindow* window;
        const char* title;
        int width, height;
    };

    const Expected table[] = {
        { window.get(), "Firmware Updater", 650, 270 },
        { window->getHelpWindow(), "Firmware Update Help", 550, 400 },
    };

    for (auto& e : table)
    {
        SCOPED_TRACE (e.title);
        ASSERT_NE (e.window, nullptr);
        EXPECT_EQ (e.window->getName(), e.title);
        EXPECT_EQ (e.window->getWidth(), e.width);
        EXPECT_EQ (e.window->getHeight(), e.height);
        EXPECT_NEAR (e.window->getBounds().getCentreX(), primaryUserArea().getCentreX(), 1);
        EXPECT_NEAR (e.window->getBounds().getCentreY(), primaryUserArea().getCentreY(), 1);
        EXPECT_TRUE (e.window->isVisible());
        EXPECT_TRUE (e.window->isOnDesktop());
        EXPECT_EQ (e.window->getBackgroundColour(), juce::Colour (0xffeff2f3));

        EXPECT_NE (e.window->getCloseButton(), nullptr);
        EXPECT_EQ (e.window->getMinimiseButton(), nullptr);
        EXPECT_EQ (e.window->getMaximiseButton(), nullptr);
        EXPECT_FALSE (e.window->isUsingNativeTitleBar());

        EXPECT_TRUE (e.window->isResizable());
        int borders = 0, corners = 0;
        for (auto* c : descendants (*e.window))
        {
            borders += dynamic_cast<juce::ResizableBorderComponent*> (c) != nullptr ? 1 : 0;
            corners += dynamic_cast<juce::ResizableCornerComponent*> (c) != nullptr ? 1 : 0;
        }
        EXPECT_EQ (borders, 1);
        EXPECT_EQ (corners, 0);

        // Drawn in the panel's style.
        EXPECT_EQ (typeid (e.window->getLookAndFeel()), typeid (juce::LookAndFeel_V3));
    }
}

TEST_F (MainWindowTest, NoSplashScreenIsAttached)
{
    deliver (new HelpResponse ("text"));

    for (const juce::Component* root : { static_cast<const juce::Component*> (window.get()),
                                         static_cast<const juce::Component*> (window->getHelpWindow()) })
    {
        ASSERT_NE (root, nullptr);
        int splashes = 0;
        for (auto* c : descendants (*root))
            splashes += dynamic_cast<juce::JUCESplashScreen*> (c) != nullptr ? 1 : 0;

        EXPECT_EQ (splashes, 0) << root->getName();
    }
}

TEST_F (MainWindowTest, TheMainWindowKeepsItsSizeTheHelpWindowDoesNot)
{
    deliver (new HelpResponse ("text"));
    auto* help = const_cast<view::HelpWindow*> (window->getHelpWindow());
    ASSERT_NE (help, nullptr);
    help->setTopLeftPosition (0, 0); // clear of the main window's right border

    // Drag each window's right border 100 pixels outwards.
    drag (*window, { window->getWidth() - 2, window->getHeight() / 2 }, { 100, 0 });
    drag (*help, { help->getWidth() - 2, help->getHeight() / 2 }, { 100, 0 });

    EXPECT_EQ (window->getWidth(), 650);
    EXPECT_EQ (window->getHeight(), 270);
    EXPECT_EQ (help->getWidth(), 650); // the drag itself works

    // A resize from outside, as a window manager or another program makes it.
    auto* peer = window->getPeer();
    ASSERT_NE (peer, nullptr);
    peer->setBounds (window->getBounds().withSize (800, 400), false);
    testsupport::drain();

    EXPECT_EQ (window->getWidth(), 650);
    EXPECT_EQ (window->getHeight(), 270);
    EXPECT_EQ (peer->getBounds().getWidth(), 650);
    EXPECT_EQ (peer->getBounds().getHeight(), 270);
}

TEST (AppIcon, ComesInFourSizesAndTheSmallestThatIsLargeEnoughIsUsed)
{
    const std::pair<int, int> table[] = { { 16, 16 }, { 1, 16 }, { 17, 32 }, { 32, 32 }, { 48, 48 }, { 49, 256 }, { 256, 256 }, { 1000, 256 } };

    for (auto [asked, drawn] : table)
    {
        const auto icon = view::appIcon (asked);
        ASSERT_TRUE (icon.isValid()) << asked;
        EXPECT_EQ (icon.getWidth(), drawn) << asked;
        EXPECT_EQ (icon.getHeight(), drawn) << asked;
        EXPECT_TRUE (icon.hasAlphaChannel()) << asked;
        EXPECT_EQ (icon.getPixelAt (0, 0).getAlpha(), 0) << asked << ": corners are see-through";
        EXPECT_EQ (icon.getPixelAt (drawn / 2, drawn / 2).getAlpha(), 255) << asked << ": the body is solid";
    }
}
