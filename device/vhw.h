/*
    One connected interface, as a scan of the driver found it.
*/
#pragma once

#include "device/tusbaudioapi.h"

#include <juce_core/juce_core.h>

/**
    A reference-counted snapshot of one interface: its driver index, product id,
    display name and properties record, read when the record is made and never
    refreshed. It keeps no device open.

    Records are chained newest first in a DeviceList through previous and next, plain
    pointers that own nothing.

    Made, read and destroyed on the message thread only; the reference count changes
    atomically.
*/
class vhw : public juce::ReferenceCountedObject
{
public:
    using Ptr = juce::ReferenceCountedObjectPtr<vhw>;

    /** Opens the device at this driver index to read its properties, and closes it. */
    explicit vhw (uint32_t deviceIndex);

    /** Closes handle if a device is open through the record (never, as things stand). */
    ~vhw() override;

    /** "Vesk 2" for product id 16, otherwise "Vesk USB". */
    juce::String getName() const;

    vhw* previous = nullptr;    // made just after this one by the same scan
    vhw* next = nullptr;        // made just before this one
    uint32_t productId = 0;     // 0 when the device failed to open for its properties
    juce::String name;
    juce::OptionalScopedPointer<juce::CriticalSection> lock;    // taken only by the destructor
    uint32_t index;
    TUsbAudioHandle handle = 0;
    TUsbAudioDeviceProperties properties {};    // all zero unless the driver wrote it
    bool hasProperties = false;                 // true only when the driver wrote properties

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (vhw)
};
