#include "app/MainAppWindow.h"

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
    auto& lookAndFeel = juce::LookAndFeel::getDefaultLookAndFeel();
    lookAndFeel.setColour (juce::ComboBox::buttonColourId, juce::Colours::red);
    lookAndFeel.setColour (juce::ComboBox::outlineColourId, juce::Colours::black);
    lookAndFeel.setColour (juce::Slider::thumbColourId, juce::Colours::red);
    lookAndFeel.setColour (juce::Slider::textBoxOutlineColourId, juce::Colours::black);

    setContentOwned (new MainWindowContent(), false);
}

MainAppWindow::~MainAppWindow() = default;

void MainAppWindow::closeButtonPressed()
{
    juce::JUCEApplication::getInstance()->systemRequestedQuit();
}
