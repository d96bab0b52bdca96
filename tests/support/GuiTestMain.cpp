#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
    // Windows only work inside an application object: JUCE sets up its X error handler and
    // X threading only for a standalone application. The tests run inside initialise.
    class GuiTestRunner final : public juce::JUCEApplicationBase
    {
    public:
        const juce::String getApplicationName() override { return "Flashwell window tests"; }
        const juce::String getApplicationVersion() override { return "0"; }
        bool moreThanOneInstanceAllowed() override { return true; }

        void initialise (const juce::String&) override
        {
            setApplicationReturnValue (RUN_ALL_TESTS());
            quit();
        }

        void shutdown() override {}
        void anotherInstanceStarted (const juce::String&) override {}
        void systemRequestedQuit() override {}
        void suspended() override {}
        void resumed() override {}
        void unhandledException (const std::exception*, const juce::String&, int) override {}
    };

    bool onlyListing (int argc, char** argv)
    {
        for (int i = 1; i < argc; ++i)
            if (std::strcmp (argv[i], "--gtest_list_tests") == 0)
                return true;

        return false;
    }
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    // Without a display JUCE only prints assertions and a window test would pass with no window.
    const char* display = std::getenv ("DISPLAY");

    if (! onlyListing (argc, argv) && (display == nullptr || *display == 0))
    {
        std::fprintf (stderr, "These tests open windows and need a display (DISPLAY is not set). "
                              "Run them under Xvfb, as ./test.sh does.\n");
        return 2;
    }

    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return new GuiTestRunner(); };
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
