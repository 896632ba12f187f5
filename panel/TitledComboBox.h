#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    A combo box that a screen reader announces by its title (Component::setTitle)
    with the shown item as its value. JUCE's own combo box gives its shown text
    as both, so "USB Buffer Size" would never be heard.

    It looks and behaves as juce::ComboBox in every other way. Message thread only.
*/
class TitledComboBox final : public juce::ComboBox
{
public:
    explicit TitledComboBox (const juce::String& name);

private:
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TitledComboBox)
};
