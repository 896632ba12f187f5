#include "device/CDevChangeNotify.h"

#include "device/DeviceList.h"
#include "device/Win32NotificationWindow.h"

#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace devicetest;

namespace
{
    class CDevChangeNotifyTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            driver.setState ("interface 1 product-id=16 firmware=1a2 usb-mode=0\n");
            list = std::make_unique<DeviceList>();
            window = Win32NotificationWindow::getWindowHandle();
            ASSERT_NE (window, nullptr);
            Win32NotificationWindow::getInstance()->addListener (&probe);
        }

        void TearDown() override
        {
            Win32NotificationWindow::getInstance()->removeListener (&probe);
        }

        void post (UINT message, WPARAM wParam, LPARAM lParam = 0) const
        {
            ASSERT_TRUE (PostMessageA (window, message, wParam, lParam));
        }

        // The window hands out one message to all its listeners before the next, so once the
        // probe has a mark posted now, every notifier has had what was posted before it.
        void waitUntilHandedOut()
        {
            const auto mark = ++lastMark;
            post (1025, mark);
            ASSERT_TRUE (probe.waitUntilSeen (1025, mark));
        }

        // Every listener must have received exactly what it expects, once all that the
        // notifiers posted for the messages so far has been delivered.
        void expectReceived (const RecordingMessageListener& listener, const std::vector<int>& codes)
        {
            waitUntilHandedOut();
            ASSERT_TRUE (deliverQueuedMessages());
            ASSERT_EQ (listener.received.size(), codes.size());

            for (size_t i = 0; i < codes.size(); ++i)
            {
                const auto& r = listener.received[i];
                EXPECT_EQ (r.intParameter1, codes[i]) << "message " << i;
                EXPECT_EQ (r.intParameter2, 0);
                EXPECT_EQ (r.intParameter3, 0);
                EXPECT_EQ (r.pointerParameter, static_cast<const void*> (&listener)) << "each listener gets its own message";
            }
        }

        SimulatedDriver driver;
        std::unique_ptr<DeviceList> list;
        HWND window = nullptr;
        RecordingWindowListener probe;
        WPARAM lastMark = 1000;
    };
}

TEST_F (CDevChangeNotifyTest, DriverMessagesReachEveryListenerAsTheirCodesAndNothingElseDoes)
{
    struct Case { UINT message; WPARAM wParam; std::vector<int> codes; };
    const Case cases[] = {
        { 1024, 1, { DeviceArrivedCode } },
        { 1024, 2, { DeviceRemovedCode } },
        { 1024, 3, {} },
        { 1024, 0, {} },
        { 1025, 1, {} },
        { 1025, 2, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.message) + " wParam " + juce::String (c.wParam));
        RecordingMessageListener first, second;

        {
            CDevChangeNotify notifier (*list);
            notifier.addListener (&first);
            notifier.addListener (&second);

            post (c.message, c.wParam, 12345);
            expectReceived (first, c.codes);
            expectReceived (second, c.codes);
        }
    }
}

TEST_F (CDevChangeNotifyTest, NothingIsPostedWhileThereAreNoListeners)
{
    RecordingMessageListener late;
    CDevChangeNotify notifier (*list);

    post (1024, 1);
    waitUntilHandedOut();
    notifier.addListener (&late);
    post (1024, 2);

    expectReceived (late, { DeviceRemovedCode });
}

TEST_F (CDevChangeNotifyTest, AfterTheNotifierIsGoneItsListenersHearNothingMore)
{
    RecordingMessageListener listener;

    {
        CDevChangeNotify notifier (*list);
        notifier.addListener (&listener);
    }

    post (1024, 1);
    expectReceived (listener, {});
}

TEST_F (CDevChangeNotifyTest, ConstructionRegistersTheWindowWithTheDriverAndDestructionUndoesIt)
{
    driver.clearLog();

    {
        CDevChangeNotify notifier (*list);

        const auto registrations = driver.callsNamed ("TUSBAUDIO_RegisterPnpNotification");
        ASSERT_EQ (registrations.size(), 1u);

        const juce::String handle (static_cast<juce::uint64> (reinterpret_cast<uintptr_t> (window)));
        EXPECT_EQ (registrations[0].inputs.joinIntoString (" "), "0 0 " + handle + " 1024 0");
        EXPECT_TRUE (driver.callsNamed ("TUSBAUDIO_UnregisterPnpNotification").empty());
    }

    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_UnregisterPnpNotification").size()), 1);
}

TEST_F (CDevChangeNotifyTest, ListenersAddedWhileNoticesAreHandedOutAllGetTheNextOne)
{
    // Listeners are added on this thread while the notification thread reads them.
    constexpr int numPosts = 200;
    RecordingMessageListener first;
    std::vector<std::unique_ptr<RecordingMessageListener>> added;
    CDevChangeNotify notifier (*list);
    notifier.addListener (&first);

    std::thread poster ([this]
    {
        for (int i = 0; i < numPosts; ++i)
            PostMessageA (window, 1024, 1, 0);
    });

    for (int i = 0; i < 30; ++i)
    {
        added.push_back (std::make_unique<RecordingMessageListener>());
        notifier.addListener (added.back().get());
        std::this_thread::yield();
    }

    poster.join();
    post (1024, 2);

    auto hasRemoval = [] (const RecordingMessageListener& l)
    {
        return ! l.received.empty() && l.received.back().intParameter1 == DeviceRemovedCode;
    };

    ASSERT_TRUE (dispatchUntil ([&]
    {
        return hasRemoval (first)
            && std::all_of (added.begin(), added.end(), [&] (auto& l) { return hasRemoval (*l); });
    }));

    EXPECT_EQ (first.received.size(), static_cast<size_t> (numPosts + 1));
}
