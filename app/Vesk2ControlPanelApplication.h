#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/MainAppWindow.h"

/**
    The application object. JUCE's runner creates it, then calls initialise,
    runs the message loop and calls shutdown, all on the message thread.
*/
class Vesk2ControlPanelApplication final : public juce::JUCEApplication,
                                           private juce::ActionListener
{
public:
    Vesk2ControlPanelApplication();
    ~Vesk2ControlPanelApplication() override;

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;

    void anotherInstanceStarted (const juce::String& commandLine) override;
    void systemRequestedQuit() override;
    void unhandledException (const std::exception*, const juce::String& sourceFilename, int lineNumber) override;

    static constexpr const char* applicationName = "Vesk 2 Control Panel";
    static constexpr const char* applicationVersion = "1.0.0";

private:
    // JUCE listens for the inter-process broadcast only for single-instance
    // programs; this one allows many, so it listens for itself.
    void actionListenerCallback (const juce::String& message) override;

    // Must outlive every component: it is the default look while the window exists.
    juce::LookAndFeel_V2 classicLookAndFeel;
    std::unique_ptr<MainAppWindow> mainWindow;
    bool listeningForBroadcasts = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Vesk2ControlPanelApplication)
};
