#include "app/MainAppWindow.h"

#include "app/ScreenReaderTraverser.h"
#include "panel/MainWindowContent.h"

MainAppWindow::MainAppWindow()
    : DocumentWindow (juce::JUCEApplication::getInstance()->getApplicationName(),
                      juce::Colours::lightgrey,
                      DocumentWindow::allButtons,
                      true)
{
    centreWithSize (width, height);
    setVisible (true);
    setUsingNativeTitleBar (true);

    // The panel's controls read these whenever they are drawn, so they are in
    // place before the panel exists.
    auto& defaultLookAndFeel = juce::LookAndFeel::getDefaultLookAndFeel();
    defaultLookAndFeel.setColour (juce::ComboBox::buttonColourId, juce::Colours::red);
    defaultLookAndFeel.setColour (juce::ComboBox::outlineColourId, juce::Colours::black);
    defaultLookAndFeel.setColour (juce::Slider::thumbColourId, juce::Colours::red);
    defaultLookAndFeel.setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::black);

    setContentOwned (new MainWindowContent(), false);   // NOLINT(cppcoreguidelines-owning-memory): the window takes ownership

   #if JUCE_WINDOWS
    // After the native title bar: that makes the native window again.
    repaintDispatcher = std::make_unique<FallbackRepaintDispatcher> (*this);
   #endif
}

MainAppWindow::~MainAppWindow() = default;

void MainAppWindow::parentSizeChanged()
{
    DocumentWindow::parentSizeChanged();

    if (repaintDispatcher != nullptr)
        repaintDispatcher->watchForVBlanks();
}

std::unique_ptr<juce::ComponentTraverser> MainAppWindow::createFocusTraverser()
{
    return std::make_unique<ScreenReaderTraverser>();
}

void MainAppWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
