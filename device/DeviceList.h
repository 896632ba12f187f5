/*
    The connected interfaces, as the last scan of the driver found them.
*/
#pragma once

#include "device/vhw.h"

#include <juce_events/juce_events.h>

#include <memory>

// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): see CDevChangeNotify.h
class CDevChangeNotify;

/**
    The chain of vhw records built by a scan, newest first: the record of the highest
    accepted driver index comes first. An interface is accepted when it opens and
    reports USB mode 0.

    The chain holds one reference on every record and head one more on the first, so
    clear() destroys every record: a plain vhw pointer taken from the list is valid
    only until its next clear() or scan().

    The list also owns the CDevChangeNotify that forwards the driver's device-change
    notices to its listeners; it is made by the first addListener.

    Every operation runs on the message thread. The lock is taken only by clear().
*/
class DeviceList final
{
public:
    /** Scans at once. */
    DeviceList();

    /** Clears, then deletes the notifier, which unregisters from the driver. */
    ~DeviceList();

    /** Rebuilds the chain from the driver; returns the first record, or nullptr. */
    vhw* scan();

    /** Releases every record and empties the list. */
    void clear();

    int getNumDevices() const;

    /** The record at this position, 0 being the first; nullptr past the end. */
    vhw* getDevice (int position) const;

    /** Makes the notifier on the first call, then adds the listener to it unless it
        is there already. The listener must outlive the list. */
    void addListener (juce::MessageListener* listener);

private:
    vhw::Ptr head;
    uint32_t numDevices = 0;
    std::unique_ptr<CDevChangeNotify> notifier;
    juce::OptionalScopedPointer<juce::CriticalSection> lock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeviceList)
};
