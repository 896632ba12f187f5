/*
    What the notification window hands each of its window messages to.
*/
#pragma once

#include "platform/Win32Api.h"

/**
    Receives every message of the notification window.

    handleWin32Message is called on the notification thread, with the window's lock
    held: an implementation must not wait for another thread that may need that lock
    (the message thread adding or removing a window listener does).

    Listeners are never deleted through this interface, so its destructor is protected
    and not virtual.
*/
class Win32MessageListener
{
public:
    /** Called on the notification thread with the window's lock held. */
    virtual void handleWin32Message (UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~Win32MessageListener() = default;
};
