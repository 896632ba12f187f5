#pragma once

#include <juce_core/juce_core.h>

/**
    What a buffer size means in time at a sample rate, as the panel's tooltips
    say it. Whole-number arithmetic throughout, so a figure never depends on
    how a double happens to round.
*/
namespace LatencyText
{
    /** "48 kHz", "44.1 kHz", "22.05 kHz": the rate in kilohertz, without
        trailing zeros. */
    juce::String kilohertz (uint32_t sampleRate);

    /** "256 samples = 5.3 ms at 48 kHz": the time the ASIO buffer holds, to a
        tenth of a millisecond (halves round up; "10.0 ms" keeps its tenth).
        Empty for a rate of 0. */
    juce::String asioBufferSize (uint32_t samples, uint32_t sampleRate);

    /** "4 milliseconds = 192 samples at 48 kHz": the samples a USB buffer of
        that many milliseconds holds, to a tenth of a sample where it is not
        whole ("1 millisecond = 44.1 samples at 44.1 kHz"). Empty for a rate
        of 0. */
    juce::String usbBufferSize (const juce::String& itemText, uint32_t milliseconds, uint32_t sampleRate);
}
