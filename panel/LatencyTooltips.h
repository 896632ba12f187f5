#pragma once

#include "panel/BufferSizeSlider.h"
#include "panel/DeferredTooltipWindow.h"

/**
    The tooltips of the panel's two controls: while the pointer rests on one, a
    tip tells the latency its setting means at the driver's current sample rate,
    "4 milliseconds = 192 samples at 48 kHz" or "256 samples = 5.3 ms at 48 kHz".

    The tooltip window exists only while the pointer is over a control, so that
    its timer does not tick while the panel sits idle, and the rate is read from
    driver index 0 only when a tip is about to show (never on paint).

    Message thread only: JUCE calls the mouse callbacks and the window's timer there.
*/
class LatencyTooltips final : private juce::MouseListener
{
public:
    /** Follows the pointer over both controls; the tips show inside the panel. */
    LatencyTooltips (juce::Component& panel, juce::ComboBox& usbLatencyCombo, BufferSizeSlider& asioBufferSizeSlider);
    ~LatencyTooltips() override;

    /** The settings were read back: a tip on show describes them as they were, so
        the next one is worked out anew. */
    void settingsChanged();

    /** The tooltip of one of the two controls: the latency its setting means at
        driver index 0's current sample rate, read now (open, rate, close). Empty,
        after no driver call, for a combo box showing no item or a slider showing
        no size; empty on any failed call or a rate of 0. */
    juce::String workOutTooltip (juce::Component& control);

    /** The tooltip window while the pointer is over one of the two controls, else nullptr. */
    DeferredTooltipWindow* getTooltipWindow() const noexcept    { return tooltipWindow.get(); }

private:
    void mouseEnter (const juce::MouseEvent& event) override;
    void mouseExit (const juce::MouseEvent& event) override;
    void updateTooltipWindow();

    juce::Component& panel;
    juce::ComboBox& combo;
    BufferSizeSlider& slider;
    std::unique_ptr<DeferredTooltipWindow> tooltipWindow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LatencyTooltips)
};
