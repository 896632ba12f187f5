#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    A slider for a buffer size in samples that the keyboard can work as well as
    the mouse.

    Keys, while it is enabled and has the keyboard focus: the arrow keys move
    it by one sample (JUCE's own handling, the step a screen reader uses too);
    Page Up and Page Down move it to the next power of two above or below
    (64, 128, 256 ... the sizes drivers favour); Home and End go to the
    minimum and the maximum. Each key press that changes the value notifies
    the listeners once, at once, as the release of a drag does; a key that
    would leave the value where it is notifies nobody.

    Its value box stays empty until it has a value worth showing: one given by
    showValue (the driver's) or one the user sets, by mouse, keys, wheel, typing
    or screen reader. From then on it shows every value with its suffix. Until
    then the value it holds (the range's minimum) is nobody's.

    It takes the keyboard focus only when handed it from the keyboard
    (grabFocusFromKeyboard). A mouse click on it moves the focus as it would
    for a plain juce::Slider, which wants no focus, so a mouse user sees the
    same focus, and the same pixels, as before the slider took keys.

    Message thread only.
*/
class BufferSizeSlider final : public juce::Slider
{
public:
    explicit BufferSizeSlider (const juce::String& name);

    /** Takes the keyboard focus, for the Tab key; false when disabled or not showing. */
    bool grabFocusFromKeyboard();

    bool keyPressed (const juce::KeyPress& key) override;

    /** Sets the value without notifying the listeners, and shows it from now on. */
    void showValue (double value);

    /** True once the value box shows a value (see above). */
    bool showsAValue() const noexcept    { return valuesShown; }

    /** What the value box shows for the current value: empty before showsAValue(). */
    juce::String getShownValueText();

    juce::String getTextFromValue (double value) override;

    /** The power of two after (or before) value within [minimum, maximum]: from
        300 up gives 512, down gives 256; from 256 up gives 512. */
    static double nextPowerOfTwo (double value, bool upwards, double minimum, double maximum);

private:
    void focusGained (FocusChangeType cause) override;
    void focusLost (FocusChangeType cause) override;

    // Every change a user makes starts here: a press, the wheel, a typed value and a
    // screen reader's set begin a drag; a key's change is reported at once.
    void startedDragging() override;
    void valueChanged() override;
    void startShowingValues();

    bool valuesShown = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BufferSizeSlider)
};
