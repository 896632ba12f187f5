#include "panel/ArrivalPacer.h"

ArrivalPacer::ArrivalPacer (std::function<void()> rescanToCall)
    : rescan (std::move (rescanToCall))
{
}

ArrivalPacer::~ArrivalPacer()
{
    cancelPendingUpdate();
}

void ArrivalPacer::arrivalNoticed()
{
    arrivalPending = true;

    // A rescan is on its way and will act on this notice too.
    if (isTimerRunning() || isUpdatePending())
        return;

    const auto sinceLastRescan = juce::Time::getMillisecondCounter() - lastRescanEndedMs;

    if (sinceLastRescan >= static_cast<juce::uint32> (minimumUpdateSpacingMs))
        triggerAsyncUpdate();
    else
        startTimer (minimumUpdateSpacingMs - static_cast<int> (sinceLastRescan));
}

void ArrivalPacer::dropPendingArrival()
{
    arrivalPending = false;
    stopTimer();
    cancelPendingUpdate();
}

void ArrivalPacer::rescanNowIfPending()
{
    triggerAsyncUpdate();
    handleUpdateNowIfNeeded();
}

void ArrivalPacer::timerCallback()
{
    stopTimer();
    triggerAsyncUpdate();
}

void ArrivalPacer::handleAsyncUpdate()
{
    // A rescan made at once (rescanNowIfPending) takes over a paced one.
    stopTimer();

    if (! std::exchange (arrivalPending, false))
        return;

    rescan();

    // Counted from the end: a slow rescan must not eat the break that follows it.
    lastRescanEndedMs = juce::Time::getMillisecondCounter();
}
