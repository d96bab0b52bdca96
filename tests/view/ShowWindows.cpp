// show_windows main|help: opens the main window in the state it has after a successful update
// or, with "help", the help window too, and keeps them up until it is ended; for screenshots.
#include "message/Messages.h"
#include "support/MessagePump.h"
#include "view/MainUI.h"

namespace
{
    const char* const helpText =
        "Firmware Update Procedure. \nThe procedure requires a PC or Mac with a standard USB Interface and a 9V/100mA DC power supply. \n\n"
        "Do following steps before you start the firmware update application on your PC or Mac: \n 1. Unplug all cables from the pedal. \n"
        " 2. Remove the battery. \n 3. Connect the pedal to a PC or Mac with the USB cable. \n 4. Press and hold the footswitch on the pedal. \n"
        " 5. Insert a DC plug with 9V/100mA power supply. \n 6. Check that the LED on the pedal turns on with green light. \n 7. Release the footswitch. \n\n"
        "Now your PC or Mac will recognize the pedal which is ready to receive a new firmware: \n 8. Launch the firmware update application. \n"
        " 9. (STEP1) Select the pedal in the combo box (see note). \n10. (STEP2) Press the update button when it turns green. \n"
        "11. Wait for the progress bar to reach 100% and for the pedal to automatically restart. \n\n"
        "Note: You should select \"USB Audio Device\", if you use Windows XP.\n\n\nTrouble Shooting:\n - Please quit any MIDI related application on your PC or Mac.\n";

    class ShowWindows final : public juce::JUCEApplicationBase
    {
    public:
        const juce::String getApplicationName() override { return "Flashwell window showcase"; }
        const juce::String getApplicationVersion() override { return "0"; }
        bool moreThanOneInstanceAllowed() override { return true; }

        void initialise (const juce::String& commandLine) override
        {
            using namespace message;

            window = std::make_unique<view::MainUI> (&controller);
            window->sendMessage (new ProductInfoResponse ("This software updater will update your Bramblet firmware to version 1.0.01 - R739"));
            window->sendMessage (new DeviceFound ("Bramblet boot"));
            window->sendMessage (new ProgressUpdate (1.0));
            window->sendMessage (new UpdateButtonEnable());
            window->sendMessage (new TextMessage ("Firmware upgrade successful"));

            if (commandLine.trim() == "help")
                window->sendMessage (new HelpResponse (helpText));
        }

        void shutdown() override { window.reset(); }
        void anotherInstanceStarted (const juce::String&) override {}
        void systemRequestedQuit() override { quit(); }
        void suspended() override {}
        void resumed() override {}
        void unhandledException (const std::exception*, const juce::String&, int) override {}

    private:
        testsupport::RecordingController controller;
        std::unique_ptr<view::MainUI> window;
    };
}

START_JUCE_APPLICATION (ShowWindows)
