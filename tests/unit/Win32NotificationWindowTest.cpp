#include "device/Win32NotificationWindow.h"

#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

using namespace devicetest;

namespace
{
    // Not a window: a parent that makes the window's creation fail.
    const HWND noSuchParent = reinterpret_cast<HWND> (static_cast<uintptr_t> (0x7ffe0010));

    // Sleeps in the window's close, as a slow listener would.
    class SlowCloseListener final : public Win32MessageListener
    {
    public:
        void handleWin32Message (UINT message, WPARAM, LPARAM) override
        {
            if (message == WM_CLOSE)
            {
                juce::Thread::sleep (2300);
                finished = true;
            }
        }

        std::atomic<bool> finished { false };
    };
}

TEST (Win32NotificationWindow, TwoListenersBothSeeEveryMessageIncludingTheCloseAtDestruction)
{
    RecordingWindowListener first, second;
    auto window = std::make_unique<Win32NotificationWindow> (HWND_MESSAGE);
    window->addListener (&first);
    window->addListener (&second);

    auto handle = window->waitForWindowHandle();
    ASSERT_NE (handle, nullptr);
    ASSERT_TRUE (PostMessageA (handle, 1024, 1, 0));
    ASSERT_TRUE (PostMessageA (handle, 1025, 7, -3));

    window.reset();

    const std::vector<WindowMessage> expected { { 1024, 1, 0 }, { 1025, 7, -3 }, { WM_CLOSE, 0, 0 } };

    for (auto* listener : { &first, &second })
    {
        auto seen = listener->seen();
        ASSERT_GE (seen.size(), expected.size());
        EXPECT_TRUE (std::equal (expected.begin(), expected.end(), seen.begin()));
    }
}

TEST (Win32NotificationWindow, AListenerAddedTwiceIsCalledOnceAndNeverOnceRemoved)
{
    RecordingWindowListener listener, probe;
    Win32NotificationWindow window (HWND_MESSAGE);
    window.addListener (&listener);
    window.addListener (&listener);
    window.addListener (&probe);

    auto handle = window.waitForWindowHandle();
    PostMessageA (handle, 1024, 1, 0);
    ASSERT_TRUE (probe.waitUntilSeen (1024, 1));

    window.removeListener (&listener);
    PostMessageA (handle, 1024, 2, 0);
    ASSERT_TRUE (probe.waitUntilSeen (1024, 2));

    EXPECT_EQ (listener.seen(), (std::vector<WindowMessage> { { 1024, 1, 0 } }));
    window.removeListener (&probe);
}

TEST (Win32NotificationWindow, WindowHandleIsReturnedOnlyOnceTheWindowIsReadyForMessages)
{
    // Asked at once after construction, mostly before the thread has made the window.
    for (int i = 0; i < 20; ++i)
    {
        Win32NotificationWindow window (HWND_MESSAGE);
        auto handle = window.waitForWindowHandle();

        ASSERT_NE (handle, nullptr);
        EXPECT_TRUE (PostMessageA (handle, 1025, 0, 0));
        EXPECT_EQ (GetWindowLongPtrA (handle, GWLP_USERDATA), reinterpret_cast<LONG_PTR> (&window))
            << "the window's slot holds the whole 64-bit address of its owner";
    }
}

TEST (Win32NotificationWindow, AWindowWhoseThreadEndedHandsOutNoHandleToCloseOrWaitFor)
{
    struct Case { const char* what; HWND parent; bool closeFirst; };
    const Case cases[] = {
        { "the window could not be made", noSuchParent, false },
        { "the window was closed already", HWND_MESSAGE, true },
    };

    for (auto c : cases)
    {
        SCOPED_TRACE (c.what);
        auto window = std::make_unique<Win32NotificationWindow> (c.parent);
        auto handle = window->waitForWindowHandle();

        if (c.closeFirst)
        {
            ASSERT_TRUE (PostMessageA (handle, WM_CLOSE, 0, 0));
            ASSERT_TRUE (window->waitForThreadToExit (10000));
        }

        ASSERT_FALSE (window->isThreadRunning());
        EXPECT_EQ (window->waitForWindowHandle(), nullptr) << "a dead handle may belong to another window by now";
    }
}

TEST (Win32NotificationWindow, DestructionClosesTheWindowAndEndsItsThread)
{
    auto window = std::make_unique<Win32NotificationWindow> (HWND_MESSAGE);
    auto handle = window->waitForWindowHandle();
    ASSERT_NE (handle, nullptr);

    window.reset();
    EXPECT_FALSE (PostMessageA (handle, 1024, 1, 0)) << "the window is gone";
}

TEST (Win32NotificationWindow, DestructionOutwaitsAListenerStillHandlingTheClose)
{
    // After its 2-second wait the destructor must not free the listener array while the
    // thread still walks it.
    SlowCloseListener slow;
    auto window = std::make_unique<Win32NotificationWindow> (HWND_MESSAGE);
    window->addListener (&slow);
    ASSERT_NE (window->waitForWindowHandle(), nullptr);

    window.reset();

    EXPECT_TRUE (slow.finished);
}

TEST (Win32NotificationWindow, ListenersComeAndGoSafelyWhileMessagesAreHandedOut)
{
    constexpr int numPosts = 300;
    RecordingWindowListener steady;
    Win32NotificationWindow window (HWND_MESSAGE);
    window.addListener (&steady);
    auto handle = window.waitForWindowHandle();

    std::thread poster ([handle]
    {
        for (int i = 0; i < numPosts; ++i)
            PostMessageA (handle, 1024, 1, i);
    });

    // Deleted right after its removal: removeListener returns only once it is not called.
    for (int i = 0; i < 100; ++i)
    {
        auto transient = std::make_unique<RecordingWindowListener>();
        window.addListener (transient.get());
        std::this_thread::yield();
        window.removeListener (transient.get());
    }

    poster.join();
    PostMessageA (handle, 1025, 0, 0);
    ASSERT_TRUE (steady.waitUntilSeen (1025, 0));

    auto seen = steady.seen();
    ASSERT_EQ (seen.size(), static_cast<size_t> (numPosts + 1));

    for (int i = 0; i < numPosts; ++i)
        EXPECT_EQ (seen[static_cast<size_t> (i)].lParam, i);

    window.removeListener (&steady);
}

TEST (Win32NotificationWindow, TheSharedInstanceIsMadeOnceWithItsNamedThreadAndWindow)
{
    auto* instance = Win32NotificationWindow::getInstance();
    ASSERT_NE (instance, nullptr);
    EXPECT_EQ (Win32NotificationWindow::getInstance(), instance);
    EXPECT_EQ (instance->getThreadName(), "win32 notification thread");

    auto handle = Win32NotificationWindow::getWindowHandle();
    ASSERT_NE (handle, nullptr);
    EXPECT_EQ (GetWindowLongPtrA (handle, GWLP_USERDATA), reinterpret_cast<LONG_PTR> (instance));
}
