#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "device/DeviceList.h"
#include "device/tusbaudioapi.h"
#include "device/vhw.h"
#include "panel/ArrivalPacer.h"
#include "panel/BufferSizeSlider.h"
#include "panel/LatencyTooltips.h"
#include "panel/ScreenReaderLines.h"
#include "panel/SupportReport.h"
#include "panel/TabAndCopyKeys.h"
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

    What it adds beyond that lives in classes of its own, owned and wired in at
    the end of this header, none of which changes a pixel: the screen readers'
    lines, the support report, the Tab and Ctrl+C keys, the latency tooltips and
    the pacing of arrivals.
*/
class MainWindowContent final : public juce::Component,
                                public juce::ComboBox::Listener,
                                public juce::Slider::Listener,
                                public juce::MessageListener
{
public:
    //==============================================================================
    // Controls, layout and painting

    /** Sets up both controls (visible, disabled), then builds the device list,
        signs up for device changes and takes the current interface, if any. */
    MainWindowContent();

    /** Deletes the device list first (its notifier leaves the driver and the
        notification window), then the slider, then the combo box. */
    ~MainWindowContent() override;

    void resized() override;
    void paint (juce::Graphics& g) override;

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

    //==============================================================================
    // Device tracking and control actions

    /** Takes DeviceChangeMessage: an arrival rescans (paced: see ArrivalPacer), a
        removal drops the current interface at once; anything else is ignored. */
    void handleMessage (const juce::Message& message) override;

    /** Writes the picked item's id as the USB streaming mode, then reads back. */
    void comboBoxChanged (juce::ComboBox* box) override;

    /** Writes the slider's value as the ASIO buffer size, then reads back. The
        slider reports a drag once, on release, and only if the value changed. */
    void sliderValueChanged (juce::Slider* slider) override;

    /** With sliderDragEnded: a press on the slider, and a release whose value the
        slider has yet to report, keep read-backs off the slider (see refreshControls). */
    void sliderDragStarted (juce::Slider* slider) override;
    void sliderDragEnded (juce::Slider* slider) override;

    /** The interface whose firmware is shown, or nullptr. */
    const vhw* getCurrentDevice() const noexcept       { return currentDevice.get(); }

    //==============================================================================
    // The additions, each in a class of its own

    const SupportReport& getReport() const noexcept     { return *report; }
    TabAndCopyKeys& getKeys() noexcept                  { return *keys; }
    LatencyTooltips& getTooltips() noexcept             { return *tooltips; }
    ArrivalPacer& getArrivalPacer() noexcept            { return *arrivalPacer; }

private:
    // Screen readers skip the panel itself and read its controls and lines as the
    // window's own: it fills the window, whose title already names it all.
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

    void createUsbLatencyCombo();
    void createAsioBufferSizeSlider();
    void connectToDevices();

    void rescanDevices();
    void deviceRemoved();
    void refreshControls();
    bool clampToMinimumASIOBufferSize (uint32_t& size);

    void setControlsEnabled (bool shouldBeEnabled);
    void repaintTextLines();

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

    std::unique_ptr<ScreenReaderLines> screenReaderLines;
    std::unique_ptr<SupportReport> report;
    std::unique_ptr<TabAndCopyKeys> keys;
    std::unique_ptr<LatencyTooltips> tooltips;
    std::unique_ptr<ArrivalPacer> arrivalPacer;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindowContent)
};
