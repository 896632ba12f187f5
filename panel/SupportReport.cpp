#include "panel/SupportReport.h"

SupportReport::SupportReport (const ScreenReaderLines& shownLines, const juce::ComboBox& usbLatencyCombo,
                              BufferSizeSlider& asioBufferSizeSlider)
    : lines (shownLines),
      combo (usbLatencyCombo),
      slider (asioBufferSizeSlider)
{
}

juce::String SupportReport::create() const
{
    juce::StringArray report;

    if (auto* application = juce::JUCEApplicationBase::getInstance())
        report.add (application->getApplicationName() + " " + application->getApplicationVersion());

    for (const auto& line : { lines.getDriverLineText(), lines.getDeviceLineText() })
        if (line.isNotEmpty())
            report.add (line);

    if (combo.isEnabled() && combo.getText().isNotEmpty())
        report.add ("USB Buffer Size: " + combo.getText());

    if (slider.isEnabled() && slider.showsAValue())
        report.add ("ASIO Buffer Size: " + slider.getShownValueText());

    return report.joinIntoString ("\n") + "\n";
}

void SupportReport::copyToClipboard() const
{
    juce::SystemClipboard::copyTextToClipboard (create());
}
