#include "panel/TitledComboBox.h"

namespace
{
/** The shown item, read-only: a screen reader changes the choice through the
    pop-up, as the mouse does, so that every change reaches the listeners. */
class ShownItemValue final : public juce::AccessibilityTextValueInterface
{
public:
    explicit ShownItemValue (juce::ComboBox& box)
        : comboBox (box)
    {
    }

    bool isReadOnly() const override                        { return true; }
    juce::String getCurrentValueAsString() const override   { return comboBox.getText(); }
    void setValueAsString (const juce::String&) override    {}

private:
    juce::ComboBox& comboBox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ShownItemValue)
};

class TitledComboBoxHandler final : public juce::AccessibilityHandler
{
public:
    explicit TitledComboBoxHandler (juce::ComboBox& box)
        : juce::AccessibilityHandler (box,
                                      juce::AccessibilityRole::comboBox,
                                      juce::AccessibilityActions()
                                          .addAction (juce::AccessibilityActionType::press, [&box] { box.showPopup(); })
                                          .addAction (juce::AccessibilityActionType::showMenu, [&box] { box.showPopup(); }),
                                      { std::make_unique<ShownItemValue> (box) }),
          comboBox (box)
    {
    }

    juce::AccessibleState getCurrentState() const override
    {
        const auto state = juce::AccessibilityHandler::getCurrentState().withExpandable();
        return comboBox.isPopupActive() ? state.withExpanded() : state.withCollapsed();
    }

private:
    juce::ComboBox& comboBox;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TitledComboBoxHandler)
};
} // namespace

TitledComboBox::TitledComboBox (const juce::String& name)
    : juce::ComboBox (name)
{
}

std::unique_ptr<juce::AccessibilityHandler> TitledComboBox::createAccessibilityHandler()
{
    return std::make_unique<TitledComboBoxHandler> (*this);
}
