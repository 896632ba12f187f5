/*
    The yardstick of the start-up, idle and memory benchmarks: the least a JUCE
    program can be that opens the same window as the control panel. A document
    window built with the same arguments, size and title-bar choice, holding an
    empty component; no driver, no threads of its own, nothing painted.
*/
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
constexpr const char* windowTitle = "Minimal JUCE Window";

class MinimalDocumentWindow final : public juce::DocumentWindow
{
public:
    MinimalDocumentWindow()
        : DocumentWindow (windowTitle, juce::Colours::lightgrey, DocumentWindow::allButtons, true)
    {
        centreWithSize (500, 350);
        setVisible (true);
        setUsingNativeTitleBar (true);
        setContentOwned (new juce::Component(), false);
    }

    void closeButtonPressed() override
    {
        juce::JUCEApplication::getInstance()->systemRequestedQuit();
    }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MinimalDocumentWindow)
};

class MinimalWindowApplication final : public juce::JUCEApplication
{
public:
    MinimalWindowApplication() = default;

    const juce::String getApplicationName() override       { return windowTitle; }
    const juce::String getApplicationVersion() override    { return "1.0.0"; }

    // As the control panel: no single-instance check at start-up.
    bool moreThanOneInstanceAllowed() override             { return true; }

    void initialise (const juce::String&) override
    {
        window = std::make_unique<MinimalDocumentWindow>();
    }

    void shutdown() override
    {
        window.reset();
    }

private:
    std::unique_ptr<MinimalDocumentWindow> window;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MinimalWindowApplication)
};
} // namespace

START_JUCE_APPLICATION (MinimalWindowApplication)
