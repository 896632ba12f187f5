#include "device/CDevChangeNotify.h"

#include "device/DeviceChangeMessage.h"
#include "device/Win32NotificationWindow.h"
#include "device/tusbaudioapi.h"

namespace
{
    // From here on the driver posts message 1024 to the window. Without a window (its
    // creation failed) no notice ever arrives; the status changes nothing either way.
    void registerWindowWithDriver (HWND window)
    {
        TUSBAUDIO_RegisterPnpNotification (nullptr, nullptr, window, TUSBAUDIO_PNP_WINDOW_MESSAGE, 0);
    }

    void unregisterFromDriver()
    {
        TUSBAUDIO_UnregisterPnpNotification();
    }
}

CDevChangeNotify::CDevChangeNotify (DeviceList& ownerList)
    : owner (ownerList)
{
    if (auto* window = Win32NotificationWindow::getInstance())
        window->addListener (this);

    // getWindowHandle waits for the notification thread; no lock is held here.
    registerWindowWithDriver (Win32NotificationWindow::getWindowHandle());
}

CDevChangeNotify::~CDevChangeNotify()
{
    unregisterFromDriver();

    // Not made for this: at shutdown the window may be gone already.
    if (auto* window = Win32NotificationWindow::getInstanceWithoutCreating())
        window->removeListener (this);
}

void CDevChangeNotify::addListener (juce::MessageListener* listener)
{
    const juce::ScopedLock sl (listenersLock);
    listeners.addIfNotAlreadyThere (listener);
}

void CDevChangeNotify::handleWin32Message (UINT message, WPARAM wParam, LPARAM)
{
    if (message != TUSBAUDIO_PNP_WINDOW_MESSAGE)
        return;

    int code;

    if (wParam == TUSBAUDIO_PNP_DEVICE_ARRIVED)
        code = DeviceArrivedCode;
    else if (wParam == TUSBAUDIO_PNP_DEVICE_REMOVED)
        code = DeviceRemovedCode;
    else
        return;

    const juce::ScopedLock sl (listenersLock);

    // Posting only queues: each listener's handleMessage runs later on the message
    // thread, and JUCE drops the message if that listener is gone by then.
    for (auto* listener : listeners)
        listener->postMessage (new DeviceChangeMessage (code, 0, 0, listener));  // NOLINT(cppcoreguidelines-owning-memory): the queue takes ownership
}
