#pragma once

#include "device/tusbaudioapi.h"

#include <juce_core/juce_core.h>

/**
    A device of the driver opened by its index for a few queries, and closed
    exactly once as this object goes, on every way out of its scope.

    Message thread: a scan opens each device for its USB mode and its
    properties, and the panel opens driver index 0 for the minimum ASIO buffer
    size and for the latency tooltips' sample rate.
*/
class OpenedDevice final
{
public:
    /** TUSBAUDIO_OpenDeviceByIndex; on a failure there is nothing to close. */
    explicit OpenedDevice (uint32_t deviceIndex);

    /** TUSBAUDIO_CloseDevice, once, if the open succeeded; its status is not read,
        as there is nothing left to do with the handle either way. */
    ~OpenedDevice();

    bool isOpen() const noexcept    { return opened; }

    /** The driver's handle while open; 0 otherwise. */
    TUsbAudioHandle getHandle() const noexcept     { return handle; }

    /** The current sample rate; false when the device is not open or the driver fails. */
    bool readCurrentSampleRate (uint32_t& sampleRate) const;

private:
    TUsbAudioHandle handle = 0;
    bool opened = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OpenedDevice)
};
