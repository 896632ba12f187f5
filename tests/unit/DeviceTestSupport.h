// What the device tests share: the simulated driver, a way to let posted JUCE
// messages arrive, and listeners that record what reaches them.
#pragma once

#include "device/DeviceChangeMessage.h"
#include "device/Win32MessageListener.h"
#include "MessageLoopSupport.h"
#include "SimulatedDriver.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace devicetest
{
    using simulated_driver::SimulatedDriver;

    struct Received
    {
        int intParameter1, intParameter2, intParameter3;
        void* pointerParameter;
    };

    /** A JUCE listener that keeps every DeviceChangeMessage it is handed, on the message thread. */
    class RecordingMessageListener final : public juce::MessageListener
    {
    public:
        void handleMessage (const juce::Message& message) override
        {
            auto* change = dynamic_cast<const DeviceChangeMessage*> (&message);
            ASSERT_NE (change, nullptr) << "only device changes are posted to this listener";
            received.push_back ({ change->intParameter1, change->intParameter2, change->intParameter3,
                                  change->pointerParameter });
        }

        std::vector<Received> received;
    };

    struct WindowMessage
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;

        bool operator== (const WindowMessage& other) const
        {
            return message == other.message && wParam == other.wParam && lParam == other.lParam;
        }
    };

    /** A window listener that keeps what it is handed on the notification thread; safe to
        read from the test's thread at any time. */
    class RecordingWindowListener final : public Win32MessageListener
    {
    public:
        void handleWin32Message (UINT message, WPARAM wParam, LPARAM lParam) override
        {
            std::lock_guard<std::mutex> lock (mutex);
            messages.push_back ({ message, wParam, lParam });
            handedIn.notify_all();
        }

        std::vector<WindowMessage> seen() const
        {
            std::lock_guard<std::mutex> lock (mutex);
            return messages;
        }

        /** Waits until this message has been handed in; false if it was not within a
            limit that is there only to end a hang. */
        bool waitUntilSeen (UINT message, WPARAM wParam) const
        {
            std::unique_lock<std::mutex> lock (mutex);

            return handedIn.wait_for (lock, std::chrono::seconds (10), [&]
            {
                return std::any_of (messages.begin(), messages.end(), [&] (const WindowMessage& m)
                {
                    return m.message == message && m.wParam == wParam;
                });
            });
        }

    private:
        mutable std::mutex mutex;
        mutable std::condition_variable handedIn;
        std::vector<WindowMessage> messages;
    };
}
