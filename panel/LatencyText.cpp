#include "panel/LatencyText.h"

namespace
{
enum class WholeNumbers
{
    withDecimal,    // "10.0"
    plain           // "10"
};

/** numerator / denominator to one decimal place, halves rounding up: 5333 / 1000
    gives "5.3"; 192 / 1 gives "192.0" or "192". */
juce::String toOneDecimal (uint64_t numerator, uint64_t denominator, WholeNumbers wholeNumbers)
{
    const auto tenths = (20 * numerator + denominator) / (2 * denominator);
    auto whole = juce::String ((juce::int64) (tenths / 10));
    const auto fraction = (int) (tenths % 10);

    if (fraction == 0 && wholeNumbers == WholeNumbers::plain)
        return whole;

    return whole + "." + juce::String (fraction);
}
} // namespace

juce::String LatencyText::kilohertz (uint32_t sampleRate)
{
    auto text = juce::String (sampleRate / 1000);
    auto fraction = juce::String (sampleRate % 1000).paddedLeft ('0', 3);

    while (fraction.endsWithChar ('0'))
        fraction = fraction.dropLastCharacters (1);

    if (fraction.isNotEmpty())
        text << "." << fraction;

    return text + " kHz";
}

juce::String LatencyText::asioBufferSize (uint32_t samples, uint32_t sampleRate)
{
    if (sampleRate == 0)
        return {};

    return juce::String (samples) + " samples = "
           + toOneDecimal ((uint64_t) samples * 1000, sampleRate, WholeNumbers::withDecimal)
           + " ms at " + kilohertz (sampleRate);
}

juce::String LatencyText::usbBufferSize (const juce::String& itemText, uint32_t milliseconds, uint32_t sampleRate)
{
    if (sampleRate == 0)
        return {};

    return itemText + " = "
           + toOneDecimal ((uint64_t) milliseconds * sampleRate, 1000, WholeNumbers::plain)
           + " samples at " + kilohertz (sampleRate);
}
