/*
    The yardstick of the start-up, idle and memory benchmarks: the least a JUCE
    program can be that opens the same window as the control panel. A document
    window built with the same arguments, size and title-bar choice, holding an
    empty component; no driver, no threads of its own, nothing painted.

    With --draw-text its content paints white and one line of bold text instead:
    what any JUCE window pays for its first text (on Linux, a scan of the
    system's fonts and the loading of the glyphs), to set beside the panel's.
*/
#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
constexpr const char* windowTitle = "Minimal JUCE Window";

class OneLineOfText final : public juce::Component
{
public:
    OneLineOfText() = default;

    void paint (juce::Graphics& g) override
    {
        g.fillAll (juce::Colours::white);
        g.setColour (juce::Colours::black);
        g.setFont (juce::Font (14.0f, juce::Font::bold));
        g.drawText (windowTitle, getLocalBounds(), juce::Justification::centred, false);
    }

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OneLineOfText)
};

class MinimalDocumentWindow final : public juce::DocumentWindow
{
public:
    explicit MinimalDocumentWindow (bool drawText)
        : DocumentWindow (windowTitle, juce::Colours::lightgrey, DocumentWindow::allButtons, true)
    {
        centreWithSize (500, 350);
        setVisible (true);
        setUsingNativeTitleBar (true);

        if (drawText)
            setContentOwned (new OneLineOfText(), false);
        else
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

    void initialise (const juce::String& commandLine) override
    {
        window = std::make_unique<MinimalDocumentWindow> (commandLine.contains ("--draw-text"));
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
