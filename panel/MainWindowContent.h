#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "device/DeviceList.h"
#include "device/tusbaudioapi.h"
#include "device/vhw.h"

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
*/
class MainWindowContent final : public juce::Component,
                                public juce::ComboBox::Listener,
                                public juce::Slider::Listener,
                                public juce::MessageListener
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

    /** Takes DeviceChangeMessage: an arrival rescans, a removal drops the
        current interface; anything else is ignored. */
    void handleMessage (const juce::Message& message) override;

private:
    void createUsbLatencyCombo();
    void createAsioBufferSizeSlider();
    void connectToDevices();

    void rescanDevices();
    void deviceRemoved();
    void setControlsEnabled (bool shouldBeEnabled);
    void refreshControls();
    bool clampToMinimumASIOBufferSize (uint32_t& size);

    std::unique_ptr<juce::ComboBox> usbLatencyCombo;
    std::unique_ptr<juce::Slider> asioBufferSizeSlider;
    std::unique_ptr<DeviceList> deviceList;

    // A counted reference: a rescan that finds nothing has already released the
    // list's records, yet the controls stay as they were and paint still reads
    // this record, so the panel keeps it alive itself.
    vhw::Ptr currentDevice;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindowContent)
};
