#pragma once

#include "panel/BufferSizeSlider.h"
#include "panel/ScreenReaderLines.h"

/**
    What the panel shows, as plain text for a support request, and Ctrl+C's copy
    of it to the system clipboard: the program and its version (when it runs as
    the application), the driver line and the second line as last painted (a line
    not painted is left out), then the two settings, each left out while its
    control is disabled (its value is then not the driver's) or shows nothing.
    Makes no driver call.

    Message thread only.
*/
class SupportReport final
{
public:
    SupportReport (const ScreenReaderLines& lines, const juce::ComboBox& usbLatencyCombo,
                   BufferSizeSlider& asioBufferSizeSlider);

    juce::String create() const;

    /** Puts create() on the system clipboard. */
    void copyToClipboard() const;

private:
    const ScreenReaderLines& lines;
    const juce::ComboBox& combo;
    BufferSizeSlider& slider;     // JUCE forms a slider's text in a non-const call

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SupportReport)
};
