#include "app/Application.h"

#include "midi/Midi.h"

Application::~Application()
{
    // The downloader goes first: its destructor stops the worker, which may still be using
    // the link and posting to the controller when the window was closed mid-update.
    downloader.reset();
    midi.reset();
    firmware.reset();
    controller.reset();
    model.reset();
    mainUI.reset();
}

const juce::String Application::getApplicationName()
{
    return "Flashwell by Oxbay";
}

const juce::String Application::getApplicationVersion()
{
    return "2.0";
}

bool Application::moreThanOneInstanceAllowed()
{
    return false;
}

bool Application::isUnattended (const juce::String& commandLineParameters)
{
    return commandLineParameters.compareIgnoreCase ("--autoupdate") == 0;
}

void Application::initialise (const juce::String& commandLineParameters)
{
    const bool unattended = isUnattended (commandLineParameters);
    const int interactive = unattended ? 0 : 1;

    midi = createMidiLink();
    firmware = std::make_unique<FirmwareClass>();
    controller = std::make_unique<controller::Controller>();
    mainUI = std::make_unique<view::MainUI> (controller.get());
    downloader = std::make_unique<downloader::Downloader> (controller.get(), midi.get(), unattended);
    model = std::make_unique<model::Model> (controller.get(), firmware.get());

    controller->model = model.get();
    controller->view = mainUI.get();
    controller->downloader = downloader.get();

    controller->start (interactive);

    // Every message of the program is delivered in here; it returns after the quit.
    juce::MessageManager::getInstance()->runDispatchLoop();
}

std::unique_ptr<midi::MidiIf> Application::createMidiLink()
{
    return std::make_unique<midi::Midi>();
}

void Application::shutdown()
{
    juce::Thread::sleep (200);

    if (controller != nullptr)
        setApplicationReturnValue (controller->getResult());
}
