#include "SimTestSupport.h"

#include "platform/Win32Api.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace simtest;
using namespace vesk2sim;
using namespace std::chrono_literals;

#ifndef CALLBACK
 #define CALLBACK
#endif

namespace
{
    LRESULT CALLBACK testWindowProcedure (HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProcA (window, message, wParam, lParam);
    }

    // A message-only window on a thread of its own (the thread that creates a window
    // is the one that must read its messages), collecting what is posted to it.
    class ReceivingWindow
    {
    public:
        ReceivingWindow()
        {
            thread = std::thread ([this] { run(); });
            std::unique_lock<std::mutex> lock (mutex);
            changed.wait (lock, [this] { return created; });
        }

        ~ReceivingWindow()
        {
            if (handle != nullptr)
                PostMessageA (handle, WM_CLOSE, 0, 0);     // its default handling destroys the window

            thread.join();
        }

        void* getHandle() const  { return handle; }

        /** The wParam of the next message 1024, or none within a limit that only ends a hang. */
        std::optional<WPARAM> next()
        {
            std::unique_lock<std::mutex> lock (mutex);

            if (! changed.wait_for (lock, 10s, [this] { return ! received.empty(); }))
                return std::nullopt;

            auto message = received.front();
            received.pop_front();
            EXPECT_EQ (message.message, TUSBAUDIO_PNP_WINDOW_MESSAGE);
            EXPECT_EQ (message.lParam, 0);
            return message.wParam;
        }

        /** The wParam of the next message, or the mark's when nothing was posted before a
            mark posted now: the window's queue keeps the order of its messages. */
        std::optional<WPARAM> nextOrMark()
        {
            PostMessageA (handle, TUSBAUDIO_PNP_WINDOW_MESSAGE, mark, 0);
            return next();
        }

        static constexpr WPARAM mark = 77;

    private:
        void run()
        {
            static std::once_flag registered;
            std::call_once (registered, []
            {
                WNDCLASSEXA windowClass {};
                windowClass.cbSize = sizeof (windowClass);
                windowClass.lpfnWndProc = testWindowProcedure;
                windowClass.hInstance = GetModuleHandleA (nullptr);
                windowClass.lpszClassName = "vesk2 simulator test window";
                RegisterClassExA (&windowClass);
            });

            auto window = CreateWindowExA (0, "vesk2 simulator test window", nullptr, 0, 0, 0, 0, 0,
                                           HWND_MESSAGE, nullptr, GetModuleHandleA (nullptr), nullptr);
            {
                std::lock_guard<std::mutex> lock (mutex);
                handle = window;
                created = true;
            }
            changed.notify_all();

            MSG message;

            while (window != nullptr && GetMessageA (&message, window, 0, 0) > 0)
            {
                if (message.message == WM_CLOSE)
                {
                    DispatchMessageA (&message);
                    continue;
                }

                std::lock_guard<std::mutex> lock (mutex);
                received.push_back (message);
                changed.notify_all();
            }
        }

        std::thread thread;
        std::mutex mutex;
        std::condition_variable changed;
        bool created = false;
        HWND handle = nullptr;
        std::deque<MSG> received;
    };

    size_t threadsInThisProcess()
    {
#if defined (__linux__)
        size_t count = 0;

        for ([[maybe_unused]] auto& entry : fs::directory_iterator ("/proc/self/task"))
            ++count;

        return count;
#else
        return 0;
#endif
    }

    // A joined thread may linger in the task list for a moment after the join.
    ::testing::AssertionResult threadCountSettlesAt (size_t expected)
    {
        auto deadline = std::chrono::steady_clock::now() + 10s;

        while (threadsInThisProcess() != expected && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for (5ms);

        auto count = threadsInThisProcess();

        if (count == expected)
            return ::testing::AssertionSuccess();

        return ::testing::AssertionFailure() << count << " threads, expected " << expected;
    }
}

class PnpNotification : public SimulatorTest
{
protected:
    void TearDown() override
    {
        TUSBAUDIO_UnregisterPnpNotification();
        SimulatorTest::TearDown();
    }

    static uint32_t registerWindow (ReceivingWindow& window)
    {
        return TUSBAUDIO_RegisterPnpNotification (nullptr, nullptr, window.getHandle(), TUSBAUDIO_PNP_WINDOW_MESSAGE, 0);
    }
};

TEST_F (PnpNotification, PlugPostsAnArrivalAndUnplugARemovalAndBothAreLogged)
{
    ReceivingWindow window;
    ASSERT_NE (window.getHandle(), nullptr);
    ASSERT_EQ (registerWindow (window), 0u);

    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    EXPECT_EQ (window.next(), WPARAM (1));

    ASSERT_EQ (tool ({ "unplug", "0" }), toolSuccess);
    EXPECT_EQ (window.next(), WPARAM (2));

    std::vector<std::string> posts;

    for (auto& call : loggedCalls())
        if (call.rfind ("POST", 0) == 0)
            posts.push_back (call);

    EXPECT_EQ (posts, (std::vector<std::string> { "POST 1024 1", "POST 1024 2" }));
}

TEST_F (PnpNotification, SettingsChangesAloneAreNotReported)
{
    ReceivingWindow window;
    ASSERT_EQ (registerWindow (window), 0u);

    ASSERT_EQ (tool ({ "set", "sample-rate", "96000" }), toolSuccess);
    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_GetDriverInfo" }), toolSuccess);
    ASSERT_EQ (TUSBAUDIO_SetASIOBufferSize (512), 0u);
    ASSERT_EQ (TUSBAUDIO_SetUsbStreamingMode (2), 0u);
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);

    // Messages arrive in order: anything the settings had caused would come first.
    EXPECT_EQ (window.next(), WPARAM (1));
    EXPECT_EQ (window.nextOrMark(), ReceivingWindow::mark);
}

TEST_F (PnpNotification, ChangesBeforeTheRegistrationAreNotReported)
{
    ReceivingWindow window;
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    ASSERT_EQ (registerWindow (window), 0u);
    ASSERT_EQ (tool ({ "unplug", "1" }), toolSuccess);

    EXPECT_EQ (window.next(), WPARAM (2)) << "the plugs would have come first";
    EXPECT_EQ (window.nextOrMark(), ReceivingWindow::mark);
}

TEST_F (PnpNotification, NothingIsPostedOnceUnregistered)
{
    ReceivingWindow first, second;
    ASSERT_EQ (registerWindow (first), 0u);
    ASSERT_EQ (TUSBAUDIO_UnregisterPnpNotification(), 0u);
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);

    // The second registration reports the next change; by then the first window
    // would long have had its message.
    ASSERT_EQ (registerWindow (second), 0u);
    ASSERT_EQ (tool ({ "unplug" }), toolSuccess);
    EXPECT_EQ (second.next(), WPARAM (2));
    EXPECT_EQ (first.nextOrMark(), ReceivingWindow::mark);
}

TEST_F (PnpNotification, RegisteringAgainReplacesTheWindowWithOneThread)
{
    ReceivingWindow first, second;
    auto threadsBefore = threadsInThisProcess();

    ASSERT_EQ (registerWindow (first), 0u);
    ASSERT_EQ (registerWindow (second), 0u);
    EXPECT_TRUE (threadCountSettlesAt (threadsBefore == 0 ? 0 : threadsBefore + 1));

    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    EXPECT_EQ (second.next(), WPARAM (1));
    EXPECT_EQ (first.nextOrMark(), ReceivingWindow::mark);

    ASSERT_EQ (TUSBAUDIO_UnregisterPnpNotification(), 0u);
    EXPECT_TRUE (threadCountSettlesAt (threadsBefore));
}

TEST_F (PnpNotification, ChangesThatLandTogetherPostRemovalsBeforeArrivals)
{
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    ReceivingWindow window;
    ASSERT_EQ (registerWindow (window), 0u);

    // One write: interfaces 0 and 2 leave, a new one comes, interface 1 stays.
    auto result = StateStore (statePath.string()).update ([] (SimState& s)
    {
        s.interfaces.erase (s.interfaces.begin() + 2);
        s.interfaces.erase (s.interfaces.begin());
        return s.plug (16, 0x1a2, 0);
    });
    ASSERT_EQ (result.outcome, StateStore::UpdateResult::Outcome::written) << result.error;

    EXPECT_EQ (window.next(), WPARAM (2));
    EXPECT_EQ (window.next(), WPARAM (2));
    EXPECT_EQ (window.next(), WPARAM (1));
    EXPECT_EQ (window.nextOrMark(), ReceivingWindow::mark);
}

TEST_F (PnpNotification, DeletingTheStateFileReportsTheReturnToTheDefaultInterface)
{
    ASSERT_EQ (tool ({ "unplug" }), toolSuccess);
    ReceivingWindow window;
    ASSERT_EQ (registerWindow (window), 0u);

    fs::remove (statePath);    // a missing file is the default state: one interface

    EXPECT_EQ (window.next(), WPARAM (1));
}

TEST_F (PnpNotification, AProcessThatExitsWhileRegisteredEndsCleanly)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");

    EXPECT_EXIT (
    {
        // The child never reaches TearDown: it watches a file in the temporary folder
        // instead of a folder of its own that would be left behind.
        fs::remove_all (folder);
        setEnvironment ("VESK2_SIM_STATE", (fs::temp_directory_path() / "vesk2-simtest-exit-never-written.state").string());

        ReceivingWindow* window = new ReceivingWindow();     // left for the exit to end
        if (registerWindow (*window) != 0)
            std::exit (3);
        std::exit (0);
    },
    ::testing::ExitedWithCode (0), "");
}

TEST_F (PnpNotification, AFolderThatCannotBeWatchedRefusesTheRegistration)
{
    ReceivingWindow window;
    setEnvironment ("VESK2_SIM_STATE", (folder / "no such folder" / "driver.state").string());

    EXPECT_NE (registerWindow (window), 0u);
    EXPECT_NE (TUSBAUDIO_UnregisterPnpNotification(), 0u) << "nothing was registered";
}
