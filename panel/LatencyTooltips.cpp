#include "panel/LatencyTooltips.h"

#include "device/OpenedDevice.h"
#include "panel/LatencyText.h"

namespace
{
// The milliseconds of each USB streaming mode, by the combo box's item id; 32
// gives 23 milliseconds, as its item says.
constexpr std::pair<int, uint32_t> millisecondsOfModes[] = { { 1, 1 }, { 2, 2 }, { 4, 4 }, { 8, 8 }, { 16, 16 }, { 32, 23 } };

uint32_t millisecondsOfMode (int id)
{
    for (const auto& [modeId, milliseconds] : millisecondsOfModes)
        if (modeId == id)
            return milliseconds;

    return 0;
}
} // namespace

LatencyTooltips::LatencyTooltips (juce::Component& panelToShowIn, juce::ComboBox& usbLatencyCombo,
                                  BufferSizeSlider& asioBufferSizeSlider)
    : panel (panelToShowIn),
      combo (usbLatencyCombo),
      slider (asioBufferSizeSlider)
{
    combo.addMouseListener (this, true);
    slider.addMouseListener (this, true);
}

LatencyTooltips::~LatencyTooltips()
{
    tooltipWindow.reset();
    slider.removeMouseListener (this);
    combo.removeMouseListener (this);
}

void LatencyTooltips::settingsChanged()
{
    if (tooltipWindow != nullptr)
        tooltipWindow->forgetTip();
}

juce::String LatencyTooltips::workOutTooltip (juce::Component& control)
{
    const auto milliseconds = &control == &combo ? millisecondsOfMode (combo.getSelectedId()) : 0;

    // Not one of ours, a combo box showing no item, or a slider still showing no
    // size: a tip would describe a value nobody reported.
    if (&control == &combo ? milliseconds == 0 : (&control != &slider || ! slider.showsAValue()))
        return {};

    // Read when the tip is about to show, so it follows a rate changed since.
    uint32_t sampleRate = 0;

    if (const OpenedDevice device (0); ! device.readCurrentSampleRate (sampleRate))
        return {};

    if (&control == &combo)
        return LatencyText::usbBufferSize (combo.getText(), milliseconds, sampleRate);

    return LatencyText::asioBufferSize (static_cast<uint32_t> (slider.getValue()), sampleRate);
}

void LatencyTooltips::mouseEnter (const juce::MouseEvent&)
{
    updateTooltipWindow();
}

void LatencyTooltips::mouseExit (const juce::MouseEvent&)
{
    updateTooltipWindow();
}

void LatencyTooltips::updateTooltipWindow()
{
    // JUCE has already moved the pointer's component when it sends the exit.
    const auto overAControl = combo.isMouseOver (true) || slider.isMouseOver (true);

    if (overAControl && tooltipWindow == nullptr)
        tooltipWindow = std::make_unique<DeferredTooltipWindow> (
            panel,
            std::vector<juce::Component*> { &combo, &slider },
            [this] (juce::Component& control) { return workOutTooltip (control); });
    else if (! overAControl)
        tooltipWindow.reset();
}
