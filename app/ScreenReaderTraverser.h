#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    What a screen reader finds in a window, and in which order: JUCE's own focus
    order (explicit focus order first, then always-on-top, then top to bottom and
    left to right, going into every child that is no focus container of its own),
    with disabled components kept in. JUCE 7.0.5's traverser leaves a disabled
    component out, and all it holds, so a control would vanish from the reader
    the moment it is disabled instead of being read as unavailable.

    JUCE asks for it only to build its accessibility tree; the keyboard has a
    traverser of its own, so nothing a key does changes. Message thread only.
*/
class ScreenReaderTraverser final : public juce::ComponentTraverser
{
public:
    ScreenReaderTraverser() = default;

    juce::Component* getDefaultComponent (juce::Component* parentComponent) override;
    juce::Component* getNextComponent (juce::Component* current) override;
    juce::Component* getPreviousComponent (juce::Component* current) override;
    std::vector<juce::Component*> getAllComponents (juce::Component* parentComponent) override;

private:
    juce::Component* neighbourOf (juce::Component* current, int step);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ScreenReaderTraverser)
};
