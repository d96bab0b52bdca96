#include "app/Application.h"

Application::~Application()
{
    controller.reset();
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

    controller = std::make_unique<controller::Controller>();
    mainUI = std::make_unique<view::MainUI> (controller.get());

    controller->view = mainUI.get();

    controller->start (interactive);

    // Every message of the program is delivered in here; it returns after the quit.
    juce::MessageManager::getInstance()->runDispatchLoop();
}

void Application::shutdown()
{
    juce::Thread::sleep (200);

    if (controller != nullptr)
        setApplicationReturnValue (controller->getResult());
}
