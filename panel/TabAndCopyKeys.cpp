#include "panel/TabAndCopyKeys.h"

TabAndCopyKeys::TabAndCopyKeys (juce::Component& panelToServe, juce::ComboBox& usbLatencyCombo,
                                BufferSizeSlider& asioBufferSizeSlider, const SupportReport& reportToCopy)
    : panel (panelToServe),
      combo (usbLatencyCombo),
      slider (asioBufferSizeSlider),
      report (reportToCopy)
{
    panel.addComponentListener (this);
    listenOnTopLevel();
}

TabAndCopyKeys::~TabAndCopyKeys()
{
    if (keyListenerHolder != nullptr)
        keyListenerHolder->removeKeyListener (this);

    panel.removeComponentListener (this);
}

void TabAndCopyKeys::componentParentHierarchyChanged (juce::Component&)
{
    listenOnTopLevel();
}

void TabAndCopyKeys::listenOnTopLevel()
{
    auto* topLevel = panel.getTopLevelComponent();

    if (topLevel == keyListenerHolder.getComponent())
        return;

    if (keyListenerHolder != nullptr)
        keyListenerHolder->removeKeyListener (this);

    keyListenerHolder = topLevel;
    topLevel->addKeyListener (this);
}

bool TabAndCopyKeys::keyPressed (const juce::KeyPress& key, juce::Component*)
{
    if (key == juce::KeyPress ('c', juce::ModifierKeys::commandModifier, 0))
    {
        report.copyToClipboard();
        return true;
    }

    const auto modifiers = key.getModifiers();

    if (key.getKeyCode() == juce::KeyPress::tabKey
        && ! (modifiers.isCtrlDown() || modifiers.isAltDown() || modifiers.isCommandDown()))
        return moveKeyboardFocus (! modifiers.isShiftDown());

    return false;
}

bool TabAndCopyKeys::moveKeyboardFocus (bool forwards)
{
    // Both controls are enabled and disabled together.
    if (! combo.isEnabled() || ! slider.isEnabled())
        return false;

    const auto onCombo = combo.hasKeyboardFocus (true);
    const auto onSlider = slider.hasKeyboardFocus (true);

    if (onCombo || (! onSlider && ! forwards))
        slider.grabFocusFromKeyboard();
    else
        combo.grabKeyboardFocus();

    return true;
}
