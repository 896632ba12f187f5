#include "panel/BufferSizeSlider.h"

BufferSizeSlider::BufferSizeSlider (const juce::String& name)
    : juce::Slider (name)
{
}

bool BufferSizeSlider::grabFocusFromKeyboard()
{
    if (! isEnabled() || ! isShowing())
        return false;

    setWantsKeyboardFocus (true);
    grabKeyboardFocus();

    if (hasKeyboardFocus (false))
        return true;

    setWantsKeyboardFocus (false);
    return false;
}

// Wanting the focus only while holding it keeps the mouse's focus moves as they
// were (a click hands it on as for a slider that wants none), and the value box's
// editor, once closed, does not hand it back here.
void BufferSizeSlider::focusLost (FocusChangeType)
{
    setWantsKeyboardFocus (false);
    repaint();
}

void BufferSizeSlider::focusGained (FocusChangeType)
{
    // The thumb is drawn brighter while focused.
    repaint();
}

double BufferSizeSlider::nextPowerOfTwo (double value, bool upwards, double minimum, double maximum)
{
    auto power = 1.0;

    if (upwards)
    {
        while (power <= value && power < maximum)
            power *= 2.0;
    }
    else
    {
        while (power * 2.0 < value)
            power *= 2.0;

        if (power >= value)
            power = minimum;
    }

    return juce::jlimit (minimum, maximum, power);
}

bool BufferSizeSlider::keyPressed (const juce::KeyPress& key)
{
    if (! isEnabled() || key.getModifiers().isAnyModifierKeyDown())
        return false;

    const auto keyCode = key.getKeyCode();
    const auto value = getValue();
    double target = 0.0;

    if (keyCode == juce::KeyPress::pageUpKey)
        target = nextPowerOfTwo (value, true, getMinimum(), getMaximum());
    else if (keyCode == juce::KeyPress::pageDownKey)
        target = nextPowerOfTwo (value, false, getMinimum(), getMaximum());
    else if (keyCode == juce::KeyPress::homeKey)
        target = getMinimum();
    else if (keyCode == juce::KeyPress::endKey)
        target = getMaximum();
    else
        return juce::Slider::keyPressed (key);

    // Synchronous, as JUCE's own arrow keys are: one notification per press.
    setValue (target, juce::sendNotificationSync);
    return true;
}

void BufferSizeSlider::showValue (double value)
{
    startShowingValues();
    setValue (value, juce::dontSendNotification);
}

juce::String BufferSizeSlider::getShownValueText()
{
    return getTextFromValue (getValue());
}

juce::String BufferSizeSlider::getTextFromValue (double value)
{
    return valuesShown ? juce::Slider::getTextFromValue (value) : juce::String();
}

void BufferSizeSlider::startedDragging()
{
    startShowingValues();
}

void BufferSizeSlider::valueChanged()
{
    startShowingValues();
}

void BufferSizeSlider::startShowingValues()
{
    if (! std::exchange (valuesShown, true))
        updateText();
}
