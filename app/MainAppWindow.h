#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/FallbackRepaintDispatcher.h"

/**
    The program's only window: 500 by 350, centred on the main monitor's work
    area, with the system's title bar and the settings panel as its content.
    Built, used and deleted on the message thread.
*/
class MainAppWindow final : public juce::DocumentWindow
{
public:
    MainAppWindow();
    ~MainAppWindow() override;

    /** Asks the application to quit; the window stays until shutdown deletes it. */
    void closeButtonPressed() override;

    /** A change of displays may move the window to one without vertical blanks. */
    void parentSizeChanged() override;

    /** What screen readers walk in the window: its components with the disabled
        ones kept in, so a control that the panel disables is read as unavailable. */
    std::unique_ptr<juce::ComponentTraverser> createFocusTraverser() override;

    static constexpr int width = 500;
    static constexpr int height = 350;

private:
    // Windows only: JUCE on Linux hands its repaints over on a timer of its own.
    std::unique_ptr<FallbackRepaintDispatcher> repaintDispatcher;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainAppWindow)
};
