#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    A line of text that the parent paints, told to screen readers: a child that
    paints nothing and takes no mouse clicks, laid over the painted line, whose
    accessible title is the text now on the screen. With no text it is left out
    of the accessibility tree.

    Message thread only.
*/
class ShownTextLine final : public juce::Component
{
public:
    explicit ShownTextLine (const juce::String& name);

    /** The text now painted under this line; empty when none is. */
    void setShownText (const juce::String& text);

    const juce::String& getShownText() const noexcept    { return shownText; }

private:
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    juce::String shownText;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ShownTextLine)
};
