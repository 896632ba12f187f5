#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "device/DeviceList.h"
#include "device/tusbaudioapi.h"
#include "device/vhw.h"
#include "panel/BufferSizeSlider.h"
#include "panel/DeferredTooltipWindow.h"
#include "panel/ShownTextLine.h"
#include "panel/TitledComboBox.h"

/**
    The settings panel: everything below the main window's title bar.

    It paints a gradient, the logo, the driver version and the current
    interface's firmware version (or that none is connected), and holds two
    controls: a combo box for the driver's USB streaming mode and a slider for
    its ASIO buffer size. A change to either is written to the driver and both
    settings are read back at once. The panel follows interfaces arriving and
    leaving through its device list's notifier.

    Every operation runs on the message thread: construction and destruction,
    layout and painting, the two control callbacks, and handleMessage (the
    notifier posts from the notification thread; JUCE delivers here).

    Beyond what it paints, and without changing a pixel of it: screen readers
    hear both controls by their captions with their values, and both text lines
    as they are painted; Tab moves the keyboard focus between the two controls
    (nothing has it until the user asks); the slider takes the arrow keys, Page
    Up and Down, Home and End; Ctrl+C copies a report of what the panel shows;
    and a tooltip on either control, while the pointer rests on it, tells the
    latency its setting means at the driver's current sample rate.
*/
class MainWindowContent final : public juce::Component,
                                public juce::ComboBox::Listener,
                                public juce::Slider::Listener,
                                public juce::MessageListener,
                                public juce::AsyncUpdater,
                                public juce::KeyListener,
                                private juce::Timer
{
public:
    /** Sets up both controls (visible, disabled), then builds the device list,
        signs up for device changes and takes the current interface, if any. */
    MainWindowContent();

    /** Deletes the device list first (its notifier leaves the driver and the
        notification window), then the slider, then the combo box. */
    ~MainWindowContent() override;

    /** The areas of two captions, from the combo box's bounds and the slider's
        top: both take the combo box's x, width and height. */
    struct Captions
    {
        juce::Rectangle<int> usb, asio;
        float fontHeight = 0.0f;
    };

    /** Everything the panel places, for one size of the panel. */
    struct Layout
    {
        juce::Rectangle<int> combo, slider;
        int sliderTextBoxWidth = 0, sliderTextBoxHeight = 0;
        juce::Rectangle<int> logo, driverLine, firmwareLine;
        Captions captions;
    };

    /** Lays out a panel of width x height whose logo decoded to logoWidth x
        logoHeight. Products of a size and a proportion round like
        Component::proportionOfWidth (single precision, halves to even); halving
        truncates toward zero. A logo of zero height (it failed to decode) gets
        an empty rectangle; the text lines do not move, as they hang on the
        height the logo is drawn at, which comes from the panel's height alone. */
    static Layout computeLayout (int width, int height, int logoWidth, int logoHeight);

    static Captions captionsFor (juce::Rectangle<int> comboBounds, int sliderTop);

    /** "Driver version 5.12": words 2 and 3 of the record, as signed decimals. */
    static juce::String driverVersionText (const TUsbAudioDriverInfo& info);

    /** "Firmware version 1a2" (word 2 of the properties in lower-case
        hexadecimal, taken as unsigned), or "Vesk 2 not connected" for none. */
    static juce::String deviceText (const vhw* device);

    /** The interface whose firmware is shown, or nullptr. */
    const vhw* getCurrentDevice() const noexcept       { return currentDevice.get(); }

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Writes the picked item's id as the USB streaming mode, then reads back. */
    void comboBoxChanged (juce::ComboBox* box) override;

    /** Writes the slider's value as the ASIO buffer size, then reads back. The
        slider reports a drag once, on release, and only if the value changed. */
    void sliderValueChanged (juce::Slider* slider) override;

    /** With sliderDragEnded: a press on the slider, and a release whose value the
        slider has yet to report, keep read-backs off the slider (see refreshControls). */
    void sliderDragStarted (juce::Slider* slider) override;
    void sliderDragEnded (juce::Slider* slider) override;

    /** Takes DeviceChangeMessage: an arrival rescans, a removal drops the
        current interface; anything else is ignored. A burst of notices is acted
        on once, after the last of those already queued (handleAsyncUpdate), as
        the notices in order would leave it: a hub that flaps ten thousand times
        costs one rescan, not ten thousand, and leaves the controls usable.
        Updates come at most once per minimumUpdateSpacingMs: a notice soon
        after one waits for the rest of that time. */
    void handleMessage (const juce::Message& message) override;

    /** Acts on the notices handleMessage has taken since the last call. */
    void handleAsyncUpdate() override;

    /** JUCE hands out every queued message before it reads the window's input
        again, so updates that follow each other without a break would hold off
        the user's clicks for as long as a hub flaps. Between two updates the
        queue runs dry and the input is read. */
    static constexpr int minimumUpdateSpacingMs = 50;

    /** Ctrl+C copies the report; Tab and Shift+Tab move the keyboard focus from
        one enabled control to the other (from neither: Tab to the combo box,
        Shift+Tab to the slider). The panel listens on its top-level component,
        so these keys work wherever the focus is within the window, and on no
        control do they take a key the control uses. */
    bool keyPressed (const juce::KeyPress& key, juce::Component* originatingComponent) override;
    using juce::Component::keyPressed;

    /** What the panel shows, as plain text for a support request: the program
        and its version (when it runs as the application), the driver line and
        the second line as last painted (a line not painted is left out), then
        the two settings, each left out while its control is disabled (its value
        is then not the driver's) or shows nothing. Makes no driver call. */
    juce::String createReport() const;

    /** Puts createReport() on the system clipboard. */
    void copyReportToClipboard() const;

    /** The tooltip of one of the two controls: the latency its setting means
        at driver index 0's current sample rate, read now (open, rate, close).
        Empty, after no driver call, for a combo box showing no item or a slider
        showing no size; empty on any failed call or a rate of 0. */
    juce::String workOutTooltip (juce::Component& control);

    /** The tooltip window while the pointer is over one of the two controls, else nullptr. */
    DeferredTooltipWindow* getTooltipWindow() const noexcept    { return tooltipWindow.get(); }

    void mouseEnter (const juce::MouseEvent& event) override;
    void mouseExit (const juce::MouseEvent& event) override;
    void parentHierarchyChanged() override;

private:
    void createUsbLatencyCombo();
    void createAsioBufferSizeSlider();
    void connectToDevices();

    bool rescanDevices();
    void deviceRemoved();
    void repaintTextLines();
    void setControlsEnabled (bool shouldBeEnabled);
    void refreshControls();
    void showAsioBufferSize (uint32_t size);
    juce::String shownAsioBufferSize() const;
    bool clampToMinimumASIOBufferSize (uint32_t& size);

    void timerCallback() override;

    void createShownTextLines();
    bool moveKeyboardFocus (bool forwards);
    void updateTooltipWindow();
    void listenForKeysOnTopLevel();

    std::unique_ptr<TitledComboBox> usbLatencyCombo;
    std::unique_ptr<BufferSizeSlider> asioBufferSizeSlider;
    std::unique_ptr<DeviceList> deviceList;

    // A counted reference: a rescan that finds nothing has already released the
    // list's records, yet the controls stay as they were and paint still reads
    // this record, so the panel keeps it alive itself.
    vhw::Ptr currentDevice;

    // What the user chose but JUCE has not yet reported (it reports a pick in the
    // combo box and a slider release asynchronously): a read-back in between must
    // not put the driver's value over it, or the report would write that instead.
    int shownModeId = 0;                    // the id the panel last put in the box
    double valueAtSliderPress = 0.0;
    bool sliderReleasePending = false;

    // The notices taken but not yet acted on. A removal cancels an earlier
    // arrival, as its rescan's outcome would be dropped anyway.
    bool arrivalPending = false, removalPending = false;
    juce::uint32 lastUpdateEndedMs = 0;     // Time::getMillisecondCounter(): since the system started

    // Screen readers' view of the two painted lines; paint keeps them to what it drew.
    std::unique_ptr<ShownTextLine> driverLine, deviceLine;

    // Exists only while the pointer is over a control, so that its timer does not
    // tick while the panel sits idle.
    std::unique_ptr<DeferredTooltipWindow> tooltipWindow;

    // The component this panel listens to keys on: the window, or the panel itself.
    juce::Component::SafePointer<juce::Component> keyListenerHolder;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindowContent)
};
