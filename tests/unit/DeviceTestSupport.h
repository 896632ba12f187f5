// What the device tests share: a simulated driver of their own and a way to let
// posted JUCE messages arrive.
#pragma once

#include "device/DeviceChangeMessage.h"
#include "device/Win32MessageListener.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <vector>

namespace devicetest
{
    inline void setEnvironment (const char* name, const juce::String& value)
    {
       #if JUCE_WINDOWS
        _putenv_s (name, value.toRawUTF8());
       #else
        ::setenv (name, value.toRawUTF8(), 1);
       #endif
    }

    inline void unsetEnvironment (const char* name)
    {
       #if JUCE_WINDOWS
        _putenv_s (name, "");
       #else
        ::unsetenv (name);
       #endif
    }

    /** Points the simulated driver at a state file and a call log in a fresh folder,
        for as long as it exists. */
    class SimulatorSandbox
    {
    public:
        // A name of its own: CTest runs test processes side by side, and the numbered
        // names of getNonexistentChildFile come out the same in each of them.
        SimulatorSandbox()
            : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("vesk2-device-test-" + juce::Uuid().toString()))
        {
            folder.createDirectory();
            stateFile = folder.getChildFile ("driver.state");
            logFile = folder.getChildFile ("calls.log");
            setEnvironment ("VESK2_SIM_STATE", stateFile.getFullPathName());
            setEnvironment ("VESK2_SIM_LOG", logFile.getFullPathName());
        }

        ~SimulatorSandbox()
        {
            unsetEnvironment ("VESK2_SIM_STATE");
            unsetEnvironment ("VESK2_SIM_LOG");
            folder.deleteRecursively();
        }

        /** The state file's lines after its header line; replaced in one rename. */
        void writeState (const juce::String& lines) const
        {
            stateFile.replaceWithText ("vesk2-sim-state 1\n" + lines);
        }

        /** The call-log lines of one driver function, in call order. */
        juce::StringArray callsOf (const juce::String& functionName) const
        {
            juce::StringArray lines, matching;
            lines.addLines (logFile.loadFileAsString());

            for (auto& line : lines)
                if (line.fromFirstOccurrenceOf (" ", false, false).upToFirstOccurrenceOf (" ", false, false) == functionName)
                    matching.add (line);

            return matching;
        }

        void clearLog() const
        {
            logFile.deleteFile();
        }

        juce::File folder, stateFile, logFile;

        JUCE_DECLARE_NON_COPYABLE (SimulatorSandbox)
    };

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
