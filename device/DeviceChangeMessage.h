/*
    The JUCE message that tells a listener that an interface arrived or was removed.
*/
#pragma once

#include <juce_events/juce_events.h>

/** intParameter1 of a DeviceChangeMessage when the driver reports an arrival (wParam 1). */
constexpr int DeviceArrivedCode = static_cast<int> (0xD1C00000u);

/** intParameter1 of a DeviceChangeMessage when the driver reports a removal (wParam 2). */
constexpr int DeviceRemovedCode = static_cast<int> (0xD1C00001u);

/**
    A juce::Message with the three integers and the pointer that listeners read.

    Made and posted on the notification thread by CDevChangeNotify; delivered to the
    listener's handleMessage on the JUCE message thread, which may read it there.
*/
class DeviceChangeMessage final : public juce::Message
{
public:
    DeviceChangeMessage (int p1, int p2, int p3, void* ptr);

    const int intParameter1;
    const int intParameter2;
    const int intParameter3;
    void* const pointerParameter;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceChangeMessage)
};
