#pragma once

#include "panel/BufferSizeSlider.h"
#include "panel/SupportReport.h"

/**
    The panel's keys that no control takes: Tab and Shift+Tab move the keyboard
    focus from one enabled control to the other (from neither: Tab to the combo
    box, Shift+Tab to the slider), and Ctrl+C copies the support report.

    They are heard on the panel's top-level component, the window, so they work
    wherever the focus is within it: with no control focused the window itself
    has the focus, and the panel is not on a key's way up from there. On no
    control do they take a key the control uses. Nothing has the focus until the
    user asks.

    Message thread only: JUCE calls key and hierarchy callbacks there.
*/
class TabAndCopyKeys final : public juce::KeyListener,
                             private juce::ComponentListener
{
public:
    /** Listens on the panel's top-level component, now and whenever it changes. */
    TabAndCopyKeys (juce::Component& panel, juce::ComboBox& usbLatencyCombo,
                    BufferSizeSlider& asioBufferSizeSlider, const SupportReport& report);
    ~TabAndCopyKeys() override;

    bool keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent) override;

private:
    void componentParentHierarchyChanged (juce::Component& component) override;
    void listenOnTopLevel();
    bool moveKeyboardFocus (bool forwards);

    juce::Component& panel;
    juce::ComboBox& combo;
    BufferSizeSlider& slider;
    const SupportReport& report;

    // The component these keys are heard on: the window, or the panel itself.
    juce::Component::SafePointer<juce::Component> keyListenerHolder;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TabAndCopyKeys)
};
