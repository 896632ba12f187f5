#include "app/Vesk2ControlPanelApplication.h"

#include "app/CommandLineOptions.h"
#include "device/tusbaudioapi.h"

Vesk2ControlPanelApplication::Vesk2ControlPanelApplication() = default;

Vesk2ControlPanelApplication::~Vesk2ControlPanelApplication()
{
    mainWindow.reset();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

void Vesk2ControlPanelApplication::initialise (const juce::String& commandLine)
{
    // A quit queued here is dispatched once the loop starts, so returning is sound.
    if (CommandLineOptions::contains (commandLine, CommandLineOptions::exitAll))
    {
        quit();
        return;
    }

    if (CommandLineOptions::contains (commandLine, CommandLineOptions::hide))
    {
        quit();
        return;
    }

    if (TUSBAUDIO_EnumerateDevices() != TUSBAUDIO_STATUS_SUCCESS)
    {
        systemRequestedQuit();
        return;
    }

    // JUCE 7's own look ignores the combo box's button colour; the classic look
    // draws it, as the window's colours expect.
    juce::LookAndFeel::setDefaultLookAndFeel (&classicLookAndFeel);

    mainWindow = std::make_unique<MainAppWindow>();

    juce::MessageManager::getInstance()->registerBroadcastListener (this);
    listeningForBroadcasts = true;
}

void Vesk2ControlPanelApplication::shutdown()
{
    if (listeningForBroadcasts)
    {
        juce::MessageManager::getInstance()->deregisterBroadcastListener (this);
        listeningForBroadcasts = false;
    }

    mainWindow.reset();
}

const juce::String Vesk2ControlPanelApplication::getApplicationName()
{
    return applicationName;
}

const juce::String Vesk2ControlPanelApplication::getApplicationVersion()
{
    return applicationVersion;
}

bool Vesk2ControlPanelApplication::moreThanOneInstanceAllowed()
{
    return true;
}

void Vesk2ControlPanelApplication::anotherInstanceStarted (const juce::String& commandLine)
{
    // Only "-exitall" reaches a running instance; "-hide" means nothing to it.
    if (CommandLineOptions::contains (commandLine, CommandLineOptions::exitAll))
        quit();
}

void Vesk2ControlPanelApplication::systemRequestedQuit()
{
    quit();
}

void Vesk2ControlPanelApplication::unhandledException (const std::exception*, const juce::String&, int)
{
}

void Vesk2ControlPanelApplication::actionListenerCallback (const juce::String& message)
{
    const auto prefix = getApplicationName() + "/";

    if (message.startsWith (prefix))
        anotherInstanceStarted (message.substring (prefix.length()));
}
