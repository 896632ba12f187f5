#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    Hands the program's queued repaints to the system when its window gets no
    vertical blanks.

    JUCE on Windows does not invalidate a window when a component asks for a
    repaint: it queues the area and hands the queue to Windows on the next
    vertical blank that DXGI reports for the window's monitor. Where none comes
    (Wine; on Windows, a display whose adapter has no DXGI output or whose
    WaitForVBlank fails, as in some remote and virtual sessions), nothing the
    panel repaints ever reaches the screen.

    So while the watched window has seen no vertical blank, a timer at about
    display rate asks every window of the program (the main window, a combo
    box's pop-up list, a tooltip) to paint what it has queued. The first vertical
    blank ends that: the timer stops and the listener leaves, so where vertical
    blanks come nothing of this runs. Moving the window, bringing it to the
    front, a new native window or a change of displays may put it where the
    blanks stop, so each of them starts the watch again until the next blank.

    Everything runs on the message thread: JUCE delivers vertical blanks there.
*/
class FallbackRepaintDispatcher final : private juce::ComponentListener,
                                        private juce::ComponentPeer::VBlankListener,
                                        private juce::Timer
{
public:
    /** Watches the top-level window; it must outlive this object. */
    explicit FallbackRepaintDispatcher (juce::Component& windowToWatch);
    ~FallbackRepaintDispatcher() override;

    /** Starts watching for vertical blanks again, dispatching repaints until one comes. */
    void watchForVBlanks();

    /** True while no vertical blank has come since the watch started. */
    bool isDispatching() const noexcept     { return isTimerRunning(); }

    static constexpr int dispatchRateHz = 60;

private:
    void onVBlank() override;
    void timerCallback() override;

    void componentMovedOrResized (juce::Component&, bool wasMoved, bool wasResized) override;
    void componentBroughtToFront (juce::Component&) override;
    void componentParentHierarchyChanged (juce::Component&) override;

    void stopListening();

    juce::Component& window;
    juce::ComponentPeer* listenedPeer = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FallbackRepaintDispatcher)
};
