// Running JUCE's message loop in a test until what it waits for has happened.
#pragma once

#include <juce_events/juce_events.h>

#include <functional>
#include <memory>

/** Runs the message loop until the condition holds; false when it did not within the
    limit, which is there only to end a hang. */
inline bool dispatchUntil (const std::function<bool()>& condition, int limitMs = 10000)
{
    const auto end = juce::Time::getMillisecondCounter() + static_cast<juce::uint32> (limitMs);

    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;

        juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    return true;
}

/** Lets JUCE deliver every message posted so far: it hands them out in order, so all of
    them come before one posted now. */
inline bool deliverQueuedMessages()
{
    const auto reached = std::make_shared<bool> (false);
    juce::MessageManager::callAsync ([reached] { *reached = true; });
    return dispatchUntil ([reached] { return *reached; });
}
