// What the device tests share: the simulated driver, a way to let posted JUCE
// messages arrive, and listeners that record what reaches them.
#pragma once

#include "device/DeviceChangeMessage.h"
#include "device/Win32MessageListener.h"
#include "SimulatedDriver.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <functional>
#include <mutex>
#include <vector>

namespace devicetest
{
    using simulated_driver::SimulatedDriver;

    /** Runs the message loop until the condition holds; false when it did not within the time. */
    inline bool dispatchUntil (const std::function<bool()>& condition, int timeoutMs = 2000)
    {
        const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (timeoutMs);

        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
        }

        return true;
    }

    struct Received
    {
        int intParameter1, intParameter2, intParameter3;
        void* pointerParameter;
        juce::uint32 atMs;
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
                                  change->pointerParameter, juce::Time::getMillisecondCounter() });
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
        }

        std::vector<WindowMessage> seen() const
        {
            std::lock_guard<std::mutex> lock (mutex);
            return messages;
        }

        bool hasSeen (UINT message, WPARAM wParam) const
        {
            for (auto& m : seen())
                if (m.message == message && m.wParam == wParam)
                    return true;

            return false;
        }

    private:
        mutable std::mutex mutex;
        std::vector<WindowMessage> messages;
    };
}
