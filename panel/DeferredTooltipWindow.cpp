#include "panel/DeferredTooltipWindow.h"

DeferredTooltipWindow::DeferredTooltipWindow (juce::Component& parent, std::vector<juce::Component*> controlsToServe,
                                              TipSource source, int restTime, Clock clockToUse)
    : juce::TooltipWindow (&parent, 0),   // no delay of the base's own: the rest is timed here
      controls (std::move (controlsToServe)),
      tipSource (std::move (source)),
      restMilliseconds ((juce::uint32) juce::jmax (0, restTime)),
      clock (std::move (clockToUse))
{
}

juce::Component* DeferredTooltipWindow::controlHolding (juce::Component& component) const
{
    for (auto* control : controls)
        if (control == &component || control->isParentOf (&component))
            return control;

    return nullptr;
}

void DeferredTooltipWindow::forgetTip()
{
    restingOn = nullptr;
    tipWorkedOut = false;
    tip.clear();
}

juce::String DeferredTooltipWindow::getTipFor (juce::Component& component)
{
    auto* control = controlHolding (component);

    if (control == nullptr
        || ! control->isEnabled()
        || control->isCurrentlyBlockedByAnotherModalComponent()
        || juce::ModifierKeys::currentModifiers.isAnyMouseButtonDown())
    {
        forgetTip();
        return {};
    }

    const auto now = clock();

    if (control != restingOn)
    {
        forgetTip();
        restingOn = control;
        restStart = now;
    }

    if (! tipWorkedOut && now - restStart >= restMilliseconds)
    {
        tipWorkedOut = true;
        ++numTipsWorkedOut;
        tip = tipSource (*control);
    }

    return tip;
}
