#include "platform/Win32StandIn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

namespace
{
    constexpr UINT quitMessage = 0x0012;

    // What a window procedure saw; a window finds its recorder through its user-data slot.
    struct Recorder
    {
        std::mutex mutex;
        std::vector<UINT> messages;
        bool closeWithDefault = true;

        std::vector<UINT> seen()
        {
            std::lock_guard<std::mutex> lock (mutex);
            return messages;
        }
    };

    LRESULT recordingProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* recorder = reinterpret_cast<Recorder*> (GetWindowLongPtrA (window, GWLP_USERDATA));

        if (recorder != nullptr)
        {
            std::lock_guard<std::mutex> lock (recorder->mutex);
            recorder->messages.push_back (message);
        }

        if (message == WM_USER + 7)
            return static_cast<LRESULT> (wParam) + lParam;     // lets a test see the procedure's result

        if (message == WM_CLOSE && recorder != nullptr && ! recorder->closeWithDefault)
            return 0;

        return DefWindowProcA (window, message, wParam, lParam);
    }

    WNDCLASSEXA makeClass (const char* name, UINT size = sizeof (WNDCLASSEXA))
    {
        WNDCLASSEXA windowClass;
        std::memset (&windowClass, 0, sizeof (windowClass));
        windowClass.cbSize = size;
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = recordingProcedure;
        windowClass.hInstance = GetModuleHandleA (nullptr);
        windowClass.lpszClassName = name;
        return windowClass;
    }

    const char* testClassName()
    {
        static const bool registered = []
        {
            auto windowClass = makeClass ("stand-in test window");
            return RegisterClassExA (&windowClass) != 0;
        }();

        EXPECT_TRUE (registered);
        return "stand-in test window";
    }

    // Class names stay registered for the life of the process, so each use takes a fresh one.
    std::string uniqueClassName (const char* stem)
    {
        static std::atomic<int> counter { 0 };
        return stem + std::string (" ") + std::to_string (++counter);
    }

    HWND createWindow (HWND parent = HWND_MESSAGE, const char* className = nullptr)
    {
        return CreateWindowExA (0, className != nullptr ? className : testClassName(), nullptr, 0,
                                0, 0, 0, 0, parent, nullptr, GetModuleHandleA (nullptr), nullptr);
    }

    HWND createRecordedWindow (Recorder& recorder)
    {
        auto window = createWindow();
        SetWindowLongPtrA (window, GWLP_USERDATA, reinterpret_cast<LONG_PTR> (&recorder));
        return window;
    }

    void closeAndDispatch (HWND window)
    {
        ASSERT_TRUE (PostMessageA (window, WM_CLOSE, 0, 0));
        MSG msg;
        ASSERT_EQ (GetMessageA (&msg, window, 0, 0), 1);
        DispatchMessageA (&msg);
    }

    HWND destroyedWindow()
    {
        auto window = createWindow();
        DefWindowProcA (window, WM_CLOSE, 0, 0);
        return window;
    }

    bool isAsleep (long thread)
    {
        std::ifstream stat ("/proc/self/task/" + std::to_string (thread) + "/stat");
        std::string line;
        std::getline (stat, line);
        const auto endOfName = line.rfind (')');
        return endOfName != std::string::npos && line.compare (endOfName, 3, ") S") == 0;
    }

    /** GetMessageA for the window on a thread of its own, handed back once that thread
        sleeps, which it does only where GetMessageA waits for a message, or has returned. */
    std::future<BOOL> getMessageOnAnotherThread (HWND window, MSG& msg)
    {
        std::promise<long> started;
        auto thread = started.get_future();

        auto result = std::async (std::launch::async, [window, &msg, started = std::move (started)] () mutable
        {
            started.set_value (syscall (SYS_gettid));
            return GetMessageA (&msg, window, 0, 0);
        });

        const auto id = thread.get();
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds (10);

        while (result.wait_for (std::chrono::seconds (0)) != std::future_status::ready && ! isAsleep (id)
               && std::chrono::steady_clock::now() < limit)
            std::this_thread::yield();

        return result;
    }
}

TEST (Win32StandIn, RegisterClassExAAcceptsOnlyTheStructureSizeOfThisBuild)
{
    struct Case { UINT size; bool accepted; };
    const Case cases[] = {
        { sizeof (WNDCLASSEXA), true },
        { 48, false },                          // the 32-bit structure size
        { 0, false },
        { sizeof (WNDCLASSEXA) + 8, false },
    };

    for (auto c : cases)
    {
        auto name = uniqueClassName ("size check");
        auto windowClass = makeClass (name.c_str(), c.size);
        EXPECT_EQ (RegisterClassExA (&windowClass) != 0, c.accepted) << "cbSize " << c.size;
        EXPECT_EQ (createWindow (HWND_MESSAGE, name.c_str()) != nullptr, c.accepted) << "cbSize " << c.size;
    }
}

TEST (Win32StandIn, RegisterClassExARefusesASecondRegistrationAndKeepsTheFirst)
{
    auto name = uniqueClassName ("registered twice");
    auto windowClass = makeClass (name.c_str());
    EXPECT_NE (RegisterClassExA (&windowClass), 0);
    EXPECT_EQ (RegisterClassExA (&windowClass), 0);
    EXPECT_NE (createWindow (HWND_MESSAGE, name.c_str()), nullptr);

    auto otherName = uniqueClassName ("no procedure");
    auto withoutProcedure = makeClass (otherName.c_str());
    withoutProcedure.lpfnWndProc = nullptr;
    EXPECT_EQ (RegisterClassExA (&withoutProcedure), 0);
    EXPECT_EQ (RegisterClassExA (nullptr), 0);
}

TEST (Win32StandIn, CreateWindowExAMakesOnlyMessageOnlyWindowsOfARegisteredClass)
{
    auto existing = createWindow();
    ASSERT_NE (existing, nullptr);

    EXPECT_EQ (createWindow (nullptr), nullptr);
    EXPECT_EQ (createWindow (existing), nullptr);
    EXPECT_EQ (createWindow (HWND_MESSAGE, "never registered"), nullptr);

    auto second = createWindow();
    EXPECT_NE (second, nullptr);
    EXPECT_NE (second, existing);
    EXPECT_NE (second, HWND_MESSAGE);
}

TEST (Win32StandIn, UserDataSlotHoldsAFull64BitPointer)
{
    auto window = createWindow();
    const auto wide = static_cast<LONG_PTR> (0x7edcba9876543210LL);

    EXPECT_EQ (GetWindowLongPtrA (window, GWLP_USERDATA), 0);
    EXPECT_EQ (SetWindowLongPtrA (window, GWLP_USERDATA, wide), 0);
    EXPECT_EQ (GetWindowLongPtrA (window, GWLP_USERDATA), wide);
    EXPECT_EQ (SetWindowLongPtrA (window, GWLP_USERDATA, 5), wide) << "returns the value it replaced";

    EXPECT_EQ (GetWindowLongPtrA (window, -4), 0) << "only the user-data slot exists";
}

TEST (Win32StandIn, GetMessageAReturnsPostedMessagesInOrderWithTheirParameters)
{
    auto window = createWindow();
    const auto bigParameter = static_cast<WPARAM> (0xfedcba9876543210ULL);

    ASSERT_TRUE (PostMessageA (window, 1024, 1, 0));
    ASSERT_TRUE (PostMessageA (window, 1024, bigParameter, -5));
    ASSERT_TRUE (PostMessageA (window, 1025, 2, 3));

    struct Expected { UINT message; WPARAM wParam; LPARAM lParam; };
    const Expected expected[] = { { 1024, 1, 0 }, { 1024, bigParameter, -5 }, { 1025, 2, 3 } };

    for (auto e : expected)
    {
        MSG msg;
        ASSERT_EQ (GetMessageA (&msg, window, 0, 0), 1);
        EXPECT_EQ (msg.hwnd, window);
        EXPECT_EQ (msg.message, e.message);
        EXPECT_EQ (msg.wParam, e.wParam);
        EXPECT_EQ (msg.lParam, e.lParam);
    }
}

TEST (Win32StandIn, GetMessageAFetchesOnlyItsOwnWindowsMessages)
{
    auto first = createWindow();
    auto second = createWindow();

    PostMessageA (second, 1024, 2, 0);
    PostMessageA (first, 1024, 1, 0);

    MSG msg;
    ASSERT_EQ (GetMessageA (&msg, first, 0, 0), 1);
    EXPECT_EQ (msg.wParam, 1u);
    ASSERT_EQ (GetMessageA (&msg, second, 0, 0), 1);
    EXPECT_EQ (msg.wParam, 2u);
}

TEST (Win32StandIn, GetMessageAWithAFilterSkipsMessagesOutsideIt)
{
    auto window = createWindow();
    PostMessageA (window, 1025, 0, 0);
    PostMessageA (window, 1024, 0, 0);

    MSG msg;
    ASSERT_EQ (GetMessageA (&msg, window, 1024, 1024), 1);
    EXPECT_EQ (msg.message, 1024u);
    ASSERT_EQ (GetMessageA (&msg, window, 0, 0), 1);
    EXPECT_EQ (msg.message, 1025u);
}

TEST (Win32StandIn, QuitMessageMakesGetMessageAReturnZero)
{
    auto window = createWindow();
    PostMessageA (window, quitMessage, 0, 0);

    MSG msg;
    EXPECT_EQ (GetMessageA (&msg, window, 0, 0), 0);
}

TEST (Win32StandIn, PostFromAnotherThreadWakesABlockedGetMessageA)
{
    auto window = createWindow();
    MSG msg {};
    auto loop = getMessageOnAnotherThread (window, msg);
    ASSERT_EQ (loop.wait_for (std::chrono::seconds (0)), std::future_status::timeout) << "it must block until the post";

    EXPECT_TRUE (PostMessageA (window, 1024, 1, 0));

    ASSERT_EQ (loop.wait_for (std::chrono::seconds (10)), std::future_status::ready);
    EXPECT_EQ (loop.get(), 1);
    EXPECT_EQ (msg.message, 1024u);
}

TEST (Win32StandIn, MessagesFromManyThreadsAllArriveInEachSendersOrder)
{
    auto window = createWindow();
    constexpr int numSenders = 4, perSender = 500;

    std::vector<std::thread> senders;

    for (int s = 0; s < numSenders; ++s)
        senders.emplace_back ([window, s]
        {
            for (int i = 0; i < perSender; ++i)
                PostMessageA (window, WM_USER + static_cast<UINT> (s), static_cast<WPARAM> (i), 0);
        });

    std::vector<int> nextExpected (numSenders, 0);

    for (int received = 0; received < numSenders * perSender; ++received)
    {
        MSG msg;
        ASSERT_EQ (GetMessageA (&msg, window, 0, 0), 1);
        auto sender = static_cast<int> (msg.message - WM_USER);
        ASSERT_EQ (static_cast<int> (msg.wParam), nextExpected[(size_t) sender]++);
    }

    for (auto& t : senders)
        t.join();

    for (auto n : nextExpected)
        EXPECT_EQ (n, perSender);
}

TEST (Win32StandIn, DispatchMessageACallsTheClassProcedureAndReturnsItsResult)
{
    Recorder recorder;
    auto window = createRecordedWindow (recorder);

    PostMessageA (window, WM_USER + 7, 40, 2);
    MSG msg;
    ASSERT_EQ (GetMessageA (&msg, window, 0, 0), 1);
    EXPECT_FALSE (TranslateMessage (&msg));
    EXPECT_EQ (DispatchMessageA (&msg), 42);
    EXPECT_EQ (recorder.seen(), std::vector<UINT> { WM_USER + 7 });
}

TEST (Win32StandIn, DefaultCloseDestroysTheWindowAfterItsProcedureSawCloseAndDestroy)
{
    Recorder recorder;
    auto window = createRecordedWindow (recorder);

    closeAndDispatch (window);

    EXPECT_EQ (recorder.seen(), (std::vector<UINT> { WM_CLOSE, WM_DESTROY }));
    EXPECT_FALSE (PostMessageA (window, 1024, 1, 0));
    MSG msg;
    EXPECT_EQ (GetMessageA (&msg, window, 0, 0), -1);
}

TEST (Win32StandIn, CloseHandledWithoutTheDefaultKeepsTheWindow)
{
    Recorder recorder;
    recorder.closeWithDefault = false;
    auto window = createRecordedWindow (recorder);

    closeAndDispatch (window);

    EXPECT_TRUE (PostMessageA (window, 1024, 1, 0));
    EXPECT_EQ (recorder.seen(), std::vector<UINT> { WM_CLOSE });
}

TEST (Win32StandIn, CloseFromAnotherThreadWakesABlockedGetMessageAWithMinusOne)
{
    auto window = createWindow();
    MSG msg {};
    auto loop = getMessageOnAnotherThread (window, msg);
    ASSERT_EQ (loop.wait_for (std::chrono::seconds (0)), std::future_status::timeout) << "it must be blocked";

    DefWindowProcA (window, WM_CLOSE, 0, 0);

    ASSERT_EQ (loop.wait_for (std::chrono::seconds (10)), std::future_status::ready);
    EXPECT_EQ (loop.get(), -1);
}

TEST (Win32StandIn, MessageLoopEndsWithMinusOneOnceItsWindowIsClosed)
{
    Recorder recorder;
    auto window = createRecordedWindow (recorder);

    auto loop = std::async (std::launch::async, [window]
    {
        MSG msg;
        BOOL result;
        int dispatched = 0;

        while ((result = GetMessageA (&msg, window, 0, 0)) != 0 && result != -1)
        {
            TranslateMessage (&msg);
            DispatchMessageA (&msg);
            ++dispatched;
        }

        return std::make_pair (result, dispatched);
    });

    PostMessageA (window, 1024, 1, 0);
    PostMessageA (window, WM_CLOSE, 0, 0);

    ASSERT_EQ (loop.wait_for (std::chrono::seconds (10)), std::future_status::ready);
    auto [result, dispatched] = loop.get();
    EXPECT_EQ (result, -1);
    EXPECT_EQ (dispatched, 2);
    EXPECT_EQ (recorder.seen(), (std::vector<UINT> { 1024, WM_CLOSE, WM_DESTROY }));
}

TEST (Win32StandIn, StaleAndMadeUpHandlesFailSafely)
{
    const HWND handles[] = { destroyedWindow(), nullptr, HWND_MESSAGE,
                             reinterpret_cast<HWND> (static_cast<uintptr_t> (0xdeadbeef)) };

    for (auto handle : handles)
    {
        SCOPED_TRACE (reinterpret_cast<uintptr_t> (handle));
        MSG msg;
        std::memset (&msg, 0, sizeof (msg));
        msg.hwnd = handle;
        msg.message = WM_USER;

        EXPECT_FALSE (PostMessageA (handle, 1024, 1, 0));
        EXPECT_EQ (GetMessageA (&msg, handle, 0, 0), -1);
        EXPECT_EQ (SetWindowLongPtrA (handle, GWLP_USERDATA, 1), 0);
        EXPECT_EQ (GetWindowLongPtrA (handle, GWLP_USERDATA), 0);
        EXPECT_EQ (DispatchMessageA (&msg), 0);
        EXPECT_EQ (DefWindowProcA (handle, WM_CLOSE, 0, 0), 0);
    }
}

TEST (Win32StandIn, ANewWindowNeverReusesTheHandleOfADestroyedOne)
{
    auto old = destroyedWindow();
    std::vector<HWND> fresh;

    for (int i = 0; i < 50; ++i)
        fresh.push_back (createWindow());

    for (auto window : fresh)
        EXPECT_NE (window, old);

    EXPECT_FALSE (PostMessageA (old, 1024, 1, 0));
}

TEST (Win32StandIn, ModuleHandleOfTheProgramIsStableAndSet)
{
    EXPECT_NE (GetModuleHandleA (nullptr), nullptr);
    EXPECT_EQ (GetModuleHandleA (nullptr), GetModuleHandleA (nullptr));
}
