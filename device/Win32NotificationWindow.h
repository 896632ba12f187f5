/*
    The hidden window that the driver posts its device-change message to, with
    the thread that runs its message loop.
*/
#pragma once

#include "device/Win32MessageListener.h"

#include <juce_events/juce_events.h>

#include <atomic>

/**
    A message-only window on a thread of its own ("win32 notification thread") that
    hands every message it receives to its Win32MessageListeners.

    One instance serves the process: getInstance() makes it on first use, which starts
    the thread, and JUCE deletes it as the library shuts down (DeletedAtShutdown).

    Threads:
    - message thread: getInstance, getWindowHandle, addListener, removeListener and the
      destructor (at shutdown);
    - notification thread: run and the window procedure, which calls each listener's
      handleWin32Message with the window's lock held.

    The lock guards the listener array only. It is never held while waiting for the
    other thread, so adding or removing a listener waits at most for one message to
    be handed out.
*/
class Win32NotificationWindow final : public juce::Thread,
                                      public juce::DeletedAtShutdown
{
public:
    /** A separate instance, for tests only: the program uses getInstance(). The window is
        made with the given parent; one other than HWND_MESSAGE makes its creation fail. */
    explicit Win32NotificationWindow (HWND parentWindow);

    /** Message thread, at shutdown: closes the window and waits up to 2 s for the thread. */
    ~Win32NotificationWindow() override;

    /** The shared window's handle, once its thread has made it: waits in steps of 10 ms
        while the thread runs without a window, woken at once when the thread makes it
        or ends. Null if the thread ended without one. Message thread. */
    static HWND getWindowHandle();

    /** As getWindowHandle(), for this instance. */
    HWND waitForWindowHandle() const;

    /** Adds a listener at the end, unless it is there already. Takes the window's lock. */
    void addListener (Win32MessageListener* listener);

    /** Removes the listener's first occurrence. Takes the window's lock, so once this
        returns the listener is not being called and will not be called again. */
    void removeListener (Win32MessageListener* listener);

    JUCE_DECLARE_SINGLETON (Win32NotificationWindow, false)

private:
    Win32NotificationWindow();

    void run() override;

    static LRESULT CALLBACK windowProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void handOut (UINT message, WPARAM wParam, LPARAM lParam);

    // Written by the notification thread, read by the message thread; null until the
    // window exists and again once its message loop has ended.
    std::atomic<HWND> windowHandle { nullptr };

    // Signalled by the notification thread: the first once the window exists or run()
    // gives up without one, the second as run() returns. They wake the message
    // thread's waits at once instead of at their next step.
    juce::WaitableEvent windowMadeOrRunEnded { true }, runEnded { true };
    juce::Array<Win32MessageListener*> listeners;
    juce::CriticalSection lock;

    const HWND parent;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Win32NotificationWindow)
};
