#include "panel/ScreenReaderLines.h"

ScreenReaderLines::ScreenReaderLines (juce::Component& panel)
{
    // The controls take the focus orders 1 and 2.
    driverLine.setExplicitFocusOrder (3);
    panel.addAndMakeVisible (driverLine);

    deviceLine.setExplicitFocusOrder (4);
    panel.addAndMakeVisible (deviceLine);
}

void ScreenReaderLines::setBounds (juce::Rectangle<int> driverLineArea, juce::Rectangle<int> deviceLineArea)
{
    driverLine.setBounds (driverLineArea);
    deviceLine.setBounds (deviceLineArea);
}

void ScreenReaderLines::painted (juce::Graphics& g,
                                 juce::Rectangle<int> driverLineArea, const juce::String& driverLineText,
                                 juce::Rectangle<int> deviceLineArea, const juce::String& deviceLineText)
{
    if (g.clipRegionIntersects (driverLineArea))
        driverLine.setShownText (driverLineText);

    if (g.clipRegionIntersects (deviceLineArea))
        deviceLine.setShownText (deviceLineText);
}
