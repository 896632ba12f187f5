#include "device/Win32NotificationWindow.h"

namespace
{
    constexpr const char* windowClassName = "notification msg window";

    // The destructor's wait for the thread: 400 looks, 5 ms apart, about 2 seconds.
    constexpr int closeWaitSteps = 400;
    constexpr int closeWaitStepMs = 5;
    constexpr int windowWaitStepMs = 10;
}

JUCE_IMPLEMENT_SINGLETON (Win32NotificationWindow)

Win32NotificationWindow::Win32NotificationWindow()
    : Win32NotificationWindow (HWND_MESSAGE)
{
}

Win32NotificationWindow::Win32NotificationWindow (HWND parentWindow)
    : juce::Thread ("win32 notification thread"),
      parent (parentWindow)
{
    startThread();
}

Win32NotificationWindow::~Win32NotificationWindow()
{
    clearSingletonInstance();

    if (auto handle = waitForWindowHandle())
    {
        // The close passes through the window procedure like any other message; its
        // default handling destroys the window, which ends the message loop.
        PostMessageA (handle, WM_CLOSE, 0, 0);

        for (int i = 0; i < closeWaitSteps && isThreadRunning(); ++i)
        {
            if (runEnded.wait (closeWaitStepMs))
            {
                // Only JUCE's own few steps after run() are left.
                while (isThreadRunning())
                    juce::Thread::yield();
            }
        }
    }

    // A thread still handing out a message reads the listeners and the lock, which go
    // as this destructor returns: it has to end first.
    if (isThreadRunning())
        waitForThreadToExit (-1);
}

HWND Win32NotificationWindow::getWindowHandle()
{
    auto* instance = getInstance();
    return instance != nullptr ? instance->waitForWindowHandle() : nullptr;
}

HWND Win32NotificationWindow::waitForWindowHandle() const
{
    while (isThreadRunning() && windowHandle.load() == nullptr)
        windowMadeOrRunEnded.wait (windowWaitStepMs);

    return windowHandle.load();
}

void Win32NotificationWindow::addListener (Win32MessageListener* listener)
{
    const juce::ScopedLock sl (lock);
    listeners.addIfNotAlreadyThere (listener);
}

void Win32NotificationWindow::removeListener (Win32MessageListener* listener)
{
    const juce::ScopedLock sl (lock);
    listeners.removeFirstMatchingValue (listener);
}

void Win32NotificationWindow::run()
{
    // On every way out, after the handle's last change.
    struct SignalOnReturn
    {
        ~SignalOnReturn()
        {
            window.windowMadeOrRunEnded.signal();
            window.runEnded.signal();
        }

        Win32NotificationWindow& window;
    };

    const SignalOnReturn signalOnReturn { *this };

    auto* module = GetModuleHandleA (nullptr);

    WNDCLASSEXA windowClass {};
    windowClass.cbSize = sizeof (WNDCLASSEXA);     // 48 is the 32-bit size; 64-bit Windows refuses it
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = module;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH> (static_cast<intptr_t> (COLOR_WINDOW + 1));
    windowClass.lpszClassName = windowClassName;

    // Fails when another instance registered the class already; the class is the same.
    RegisterClassExA (&windowClass);

    auto handle = CreateWindowExA (0, windowClassName, nullptr, 0, 0, 0, 0, 0,
                                   parent, nullptr, module, nullptr);

    if (handle == nullptr)
        return;

    // The full pointer width: the 32-bit slot of SetWindowLongA would cut a 64-bit address.
    SetWindowLongPtrA (handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR> (this));

    // Published only now, so whoever waited for it finds the window complete.
    windowHandle = handle;
    windowMadeOrRunEnded.signal();

    MSG msg;

    for (;;)
    {
        const auto result = GetMessageA (&msg, handle, 0, 0);

        if (result == 0 || result == -1)
            break;

        TranslateMessage (&msg);
        DispatchMessageA (&msg);
    }

    // The handle is dead now and the system may give it to another window.
    windowHandle = nullptr;
}

LRESULT CALLBACK Win32NotificationWindow::windowProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Messages that come while the window is being made find no owner yet.
    if (auto* owner = reinterpret_cast<Win32NotificationWindow*> (GetWindowLongPtrA (window, GWLP_USERDATA)))
        owner->handOut (message, wParam, lParam);

    return DefWindowProcA (window, message, wParam, lParam);
}

void Win32NotificationWindow::handOut (UINT message, WPARAM wParam, LPARAM lParam)
{
    const juce::ScopedLock sl (lock);

    // The size is read again after every call: a listener may add or remove one.
    for (int i = 0; i < listeners.size(); ++i)
        listeners.getUnchecked (i)->handleWin32Message (message, wParam, lParam);
}
