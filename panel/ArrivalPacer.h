#pragma once

#include <juce_events/juce_events.h>

#include <functional>

/**
    Paces the rescans that interface arrivals call for, so that a hub that flaps
    ten thousand times costs a few rescans, not ten thousand, and the user's
    clicks are still read meanwhile.

    An arrival is not acted on at once: its rescan is queued behind every notice
    already waiting, so a burst of arrivals ends in one rescan, and it comes at
    least minimumUpdateSpacingMs after the end of the one before. JUCE hands out
    every queued message before it reads the window's input again, so rescans
    that followed each other without a break would hold off the user's clicks;
    between two of them the queue runs dry and the input is read.

    A removal is not paced (the panel acts on it at once, as it makes no driver
    call); it drops the arrival still waiting, whose rescan it overtook. The next
    arrival rescans.

    Message thread only: the notices come from the panel's handleMessage, and the
    rescan runs from a JUCE async update or timer.
*/
class ArrivalPacer final : private juce::AsyncUpdater,
                           private juce::Timer
{
public:
    /** rescan is called on the message thread, at most once per paced update. */
    explicit ArrivalPacer (std::function<void()> rescan);
    ~ArrivalPacer() override;

    /** An arrival notice: the rescan follows, paced. */
    void arrivalNoticed();

    /** A removal overtook the waiting arrival, if any: its rescan is not made. */
    void dropPendingArrival();

    bool isArrivalPending() const noexcept      { return arrivalPending; }

    /** True when the rescan is queued to run as soon as the queue reaches it,
        false while none waits or it waits out the spacing. */
    bool isRescanQueued() const noexcept        { return isUpdatePending(); }

    /** Makes a waiting arrival's rescan now, queued or paced. */
    void rescanNowIfPending();

    static constexpr int minimumUpdateSpacingMs = 50;

private:
    void handleAsyncUpdate() override;
    void timerCallback() override;

    const std::function<void()> rescan;
    bool arrivalPending = false;
    juce::uint32 lastRescanEndedMs = 0;     // Time::getMillisecondCounter(): since the system started

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ArrivalPacer)
};
