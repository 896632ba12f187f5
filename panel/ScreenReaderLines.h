#pragma once

#include "panel/ShownTextLine.h"

/**
    Screen readers' view of the panel's two painted lines, the driver version and
    the interface's firmware version (or that none is connected): two children of
    the panel that paint nothing and take no clicks, laid over the painted lines,
    read after the two controls. Each holds the text last painted under it, which
    the support report reads as well.

    Message thread only: set up with the panel, laid out by its resized and told
    what was drawn by its paint.
*/
class ScreenReaderLines final
{
public:
    /** Adds both lines to the panel. */
    explicit ScreenReaderLines (juce::Component& panel);

    void setBounds (juce::Rectangle<int> driverLineArea, juce::Rectangle<int> deviceLineArea);

    /** What a paint drew in the two areas (an empty text where it drew none). A line
        whose area the paint was clipped away from is still on the screen as it
        was, so it keeps the text it holds. */
    void painted (juce::Graphics& g,
                  juce::Rectangle<int> driverLineArea, const juce::String& driverLineText,
                  juce::Rectangle<int> deviceLineArea, const juce::String& deviceLineText);

    const juce::String& getDriverLineText() const noexcept     { return driverLine.getShownText(); }
    const juce::String& getDeviceLineText() const noexcept     { return deviceLine.getShownText(); }

private:
    ShownTextLine driverLine { "DriverLine" }, deviceLine { "DeviceLine" };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ScreenReaderLines)
};
