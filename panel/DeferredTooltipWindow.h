#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <vector>

/**
    A tooltip window for a few controls whose tips cost something to work out
    (a driver call): a tip is asked of its source only once the pointer has
    rested on a control long enough for the tip to appear, and once per rest.

    JUCE's TooltipWindow asks getTipFor about the component under the pointer
    on every tick of its timer (about eight times a second), not only when a
    tip is about to show. This window answers those ticks with no tip until
    the pointer has rested on one of its controls for the rest time; then it
    asks the source once, keeps the answer for as long as the pointer stays on
    that control, and the base shows it on its next tick. A press of a mouse
    button, a disabled control, a control under a modal component, or
    forgetTip() starts the rest again. The source may answer with an empty
    string: no tip then.

    Message thread only: JUCE calls getTipFor from its timer there.
*/
class DeferredTooltipWindow final : public juce::TooltipWindow
{
public:
    /** Works out the tip of one of the controls; called on the message thread. */
    using TipSource = std::function<juce::String (juce::Component& control)>;

    /** Milliseconds since some fixed moment; wraps as juce::Time::getMillisecondCounter does. */
    using Clock = std::function<juce::uint32()>;

    static constexpr int defaultRestMilliseconds = 700;

    /** A tooltip window inside parent (which shows the tips within its bounds)
        for the given controls. Inside rather than on the desktop, so that a tip
        taken away is painted over by the parent at once, with no help from the
        window system. */
    DeferredTooltipWindow (juce::Component& parent, std::vector<juce::Component*> controls, TipSource source,
                           int restMilliseconds = defaultRestMilliseconds,
                           Clock clock = [] { return juce::Time::getMillisecondCounter(); });

    juce::String getTipFor (juce::Component& component) override;

    /** Drops the kept tip, so that the pointer must rest again and the source is
        asked again: for when what the tip describes has changed. */
    void forgetTip();

    /** How many times the source has been asked. */
    int getNumTipsWorkedOut() const noexcept    { return numTipsWorkedOut; }

private:
    juce::Component* controlHolding (juce::Component& component) const;

    const std::vector<juce::Component*> controls;
    const TipSource tipSource;
    const juce::uint32 restMilliseconds;
    const Clock clock;

    juce::Component* restingOn = nullptr;
    juce::uint32 restStart = 0;
    bool tipWorkedOut = false;
    juce::String tip;
    int numTipsWorkedOut = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DeferredTooltipWindow)
};
