/*
    Turns the driver's device-change window message into JUCE messages.
*/
#pragma once

#include "device/Win32MessageListener.h"

#include <juce_events/juce_events.h>

class DeviceList;

/**
    Joins the notification window's listeners and registers that window with the
    driver, then forwards each of the driver's message 1024 to its JUCE listeners as
    a DeviceChangeMessage: DeviceArrivedCode for wParam 1, DeviceRemovedCode for 2.

    Threads:
    - message thread: the constructor, the destructor and addListener;
    - notification thread: handleWin32Message, with the window's lock held.

    The listener array is read on the notification thread while the message thread may
    add to it, so it has a lock of its own. That lock is held only to add or to post,
    never while waiting for another thread, and is taken after the window's lock.
*/
// NOLINTNEXTLINE(cppcoreguidelines-virtual-class-destructor): final, and the base's destructor is protected
class CDevChangeNotify final : public Win32MessageListener
{
public:
    /** Makes the shared notification window if there is none yet, joins its listeners
        and registers its window with the driver for message 1024. Waits until the
        window exists. */
    explicit CDevChangeNotify (DeviceList& ownerList);

    /** Unregisters from the driver, then leaves the window's listeners. */
    ~CDevChangeNotify();

    /** Adds a JUCE listener to forward to, once however often it is added. */
    void addListener (juce::MessageListener* listener);

    /** Posts one message to each listener for message 1024 with wParam 1 or 2;
        anything else posts nothing. lParam is not read. */
    void handleWin32Message (UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    [[maybe_unused]] DeviceList& owner;
    juce::Array<juce::MessageListener*> listeners;
    juce::CriticalSection listenersLock;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (CDevChangeNotify)
};
