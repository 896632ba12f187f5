#include "app/FallbackRepaintDispatcher.h"

FallbackRepaintDispatcher::FallbackRepaintDispatcher (juce::Component& windowToWatch)
    : window (windowToWatch)
{
    window.addComponentListener (this);
    watchForVBlanks();
}

FallbackRepaintDispatcher::~FallbackRepaintDispatcher()
{
    stopListening();
    window.removeComponentListener (this);
}

void FallbackRepaintDispatcher::watchForVBlanks()
{
    auto* peer = window.getPeer();

    if (peer != listenedPeer)
    {
        stopListening();

        if (peer != nullptr)
            peer->addVBlankListener (this);

        listenedPeer = peer;
    }

    if (! isTimerRunning())
        startTimerHz (dispatchRateHz);
}

void FallbackRepaintDispatcher::onVBlank()
{
    // JUCE hands the queue over on this blank itself, and on every one after it.
    stopTimer();
    stopListening();
}

void FallbackRepaintDispatcher::timerCallback()
{
    // A window's paint may open or close another window, so each is looked up afresh.
    for (int i = 0; i < juce::ComponentPeer::getNumPeers(); ++i)
        if (auto* peer = juce::ComponentPeer::getPeer (i))
            peer->performAnyPendingRepaintsNow();
}

void FallbackRepaintDispatcher::componentMovedOrResized (juce::Component&, bool wasMoved, bool)
{
    if (wasMoved)
        watchForVBlanks();
}

void FallbackRepaintDispatcher::componentBroughtToFront (juce::Component&)
{
    watchForVBlanks();
}

void FallbackRepaintDispatcher::componentParentHierarchyChanged (juce::Component&)
{
    watchForVBlanks();
}

void FallbackRepaintDispatcher::stopListening()
{
    // The peer may have gone with its native window, and its listeners with it.
    if (listenedPeer != nullptr && juce::ComponentPeer::isValidPeer (listenedPeer))
        listenedPeer->removeVBlankListener (this);

    listenedPeer = nullptr;
}
