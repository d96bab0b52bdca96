#pragma once

#include "controller/Controller.h"
#include "view/MainUI.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** The program: picks the mode, builds and wires the components, runs the message loop and
    turns the controller's outcome into the exit code. */
class Application : public juce::JUCEApplication
{
public:
    Application() = default;
    ~Application() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;

    void initialise (const juce::String& commandLineParameters) override;
    void shutdown() override;

    /** True when the whole parameter string is "--autoupdate", in any letter case. */
    static bool isUnattended (const juce::String& commandLineParameters);

private:
    std::unique_ptr<view::MainUI> mainUI;
    std::unique_ptr<controller::Controller> controller;
};
