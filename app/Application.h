#pragma once

#include "controller/Controller.h"
#include "downloader/Downloader.h"
#include "firmware/FirmwareClass.h"
#include "midi/MidiIf.h"
#include "model/Model.h"
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

protected:
    /** The link to the pedal: the computer's MIDI ports. The demonstration build puts an
        emulated pedal here instead. */
    virtual std::unique_ptr<midi::MidiIf> createMidiLink();

    /** The main window, once built. */
    view::MainUI* getMainWindow() const { return mainUI.get(); }

private:
    std::unique_ptr<view::MainUI> mainUI;
    std::unique_ptr<downloader::Downloader> downloader;
    std::unique_ptr<model::Model> model;
    std::unique_ptr<controller::Controller> controller;
    std::unique_ptr<FirmwareClass> firmware;
    std::unique_ptr<midi::MidiIf> midi;
};
