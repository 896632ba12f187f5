// The panel shows only what the driver reported and writes only what the user
// chose, also when driver calls fail and when device changes come between a
// user's choice and JUCE's report of it.

#include "MainWindowContentDesktopSupport.h"

#include "device/vhw.h"

using namespace panel_test;

namespace
{
juce::StringArray writesIn (const SimulatedDriver& driver)
{
    juce::StringArray writes;

    for (const auto& call : driver.calls())
        if (call.name == "TUSBAUDIO_SetUsbStreamingMode" || call.name == "TUSBAUDIO_SetASIOBufferSize")
            writes.add (call.name.fromFirstOccurrenceOf ("TUSBAUDIO_", false, false) + " " + call.input (0));

    return writes;
}

juce::String shownSliderText (MainWindowContent& panel)
{
    return sliderOf (panel).getTextFromValue (sliderOf (panel).getValue());
}
} // namespace

TEST (UnreportedValues, ARecordWhosePropertiesTheDriverRefusedSaysSoAndHoldsNoneOfThem)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1, "beef") + "fail TUSBAUDIO_GetDeviceProperties 5\n");
    ASSERT_EQ (TUSBAUDIO_EnumerateDevices(), TUSBAUDIO_STATUS_SUCCESS);    // driver indexes refer to the last enumeration

    const vhw refused (0);
    EXPECT_FALSE (refused.hasProperties);
    EXPECT_EQ (refused.productId, 0u);
    EXPECT_EQ (refused.properties.firmwareVersion, 0u);
    EXPECT_EQ (refused.getName(), "Vesk USB");

    driver.setState (SimulatedDriver::interfaceLine (1, "beef"));
    const vhw read (0);
    EXPECT_TRUE (read.hasProperties);
    EXPECT_EQ (read.properties.firmwareVersion, 0xbeefu);
}

TEST (UnreportedValues, AnInterfaceWithoutPropertiesShowsNoFirmwareVersionYetIsUsable)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetDeviceProperties 1\n");

    MainWindowContent panel;
    panel.setSize (500, 350);

    ASSERT_NE (panel.getCurrentDevice(), nullptr);
    EXPECT_TRUE (comboOf (panel).isEnabled());
    EXPECT_EQ (MainWindowContent::deviceText (panel.getCurrentDevice()), "");

    const auto line = MainWindowContent::computeLayout (500, 350, 318, 207).firmwareLine;
    EXPECT_TRUE (darkRows (paintedPanel (panel), line).isEmpty());
}

TEST (UnreportedValues, TheSliderShowsNoSizeUntilTheDriverReportsOne)
{
    for (const auto* failing : { "TUSBAUDIO_GetASIOBufferSize", "TUSBAUDIO_OpenDeviceByIndex",
                                 "TUSBAUDIO_GetCurrentSampleRate", "TUSBAUDIO_GetMinimumASIOBufferSize" })
    {
        SCOPED_TRACE (failing);
        const SimulatedDriver driver;

        // Open fails for the scan too: the interface then arrives with it healed.
        const bool failsTheScan = juce::String (failing) == "TUSBAUDIO_OpenDeviceByIndex";
        driver.setState (failsTheScan ? juce::String() : SimulatedDriver::interfaceLine (1) + "fail " + failing + " 3\n");

        MainWindowContent panel;
        EXPECT_EQ (shownSliderText (panel), "");

        if (failsTheScan)
        {
            driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetCurrentSampleRate 3\n");
            deliver (panel, DeviceArrivedCode);
        }

        EXPECT_TRUE (sliderOf (panel).isEnabled());
        EXPECT_EQ (shownSliderText (panel), "");
        EXPECT_FALSE (panel.getReport().create().contains ("ASIO Buffer Size"));

        // Once the driver answers, the size and its unit appear, and stay through
        // later failures.
        driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 64\n");
        deliver (panel, DeviceArrivedCode);
        EXPECT_EQ (shownSliderText (panel), "64 samples");

        driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetASIOBufferSize 3\n");
        deliver (panel, DeviceArrivedCode);
        EXPECT_EQ (shownSliderText (panel), "64 samples");
        EXPECT_EQ (writesIn (driver), juce::StringArray());
    }
}

TEST (UnreportedValues, APickNotYetReportedSurvivesARescanAndIsWhatGetsWritten)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    ASSERT_EQ (comboOf (panel).getSelectedId(), 4);
    driver.clearLog();

    // The pop-up's choice is reported later; an arrival is handled first.
    comboOf (panel).setSelectedId (8, juce::sendNotificationAsync);
    deliver (panel, DeviceArrivedCode);
    EXPECT_EQ (comboOf (panel).getSelectedId(), 8);

    ASSERT_TRUE (deliverQueuedMessages());
    EXPECT_EQ (writesIn (driver), juce::StringArray ("SetUsbStreamingMode 8"));
    EXPECT_EQ (comboOf (panel).getSelectedId(), 8);

    // Reported and written, the box follows the driver again.
    driver.setState (SimulatedDriver::interfaceLine (1) + "streaming-mode 2\n");
    deliver (panel, DeviceArrivedCode);
    EXPECT_EQ (comboOf (panel).getSelectedId(), 2);
}

TEST (UnreportedValues, ASliderReleaseNotYetReportedSurvivesARescanAndIsWhatGetsWritten)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 64\nsample-rate 96000\n");

    MainWindowContent panel;
    auto& slider = sliderOf (panel);
    ASSERT_EQ (slider.getValue(), 128.0);     // the driver's 64, raised to the minimum
    driver.clearLog();

    // What a press, a drag to 1000 and a release do to the slider and the panel;
    // the release's report comes later, after an arrival.
    panel.sliderDragStarted (&slider);
    slider.setValue (1000.0, juce::sendNotificationAsync);
    panel.sliderDragEnded (&slider);
    deliver (panel, DeviceArrivedCode);
    EXPECT_EQ (slider.getValue(), 1000.0);

    ASSERT_TRUE (deliverQueuedMessages());
    EXPECT_EQ (writesIn (driver), juce::StringArray ("SetASIOBufferSize 1000"));
    EXPECT_EQ (slider.getValue(), 1000.0);

    // A release on the value pressed, or on a disabled slider, reports nothing, so
    // it holds nothing back.
    panel.sliderDragStarted (&slider);
    panel.sliderDragEnded (&slider);
    driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 512\n");
    deliver (panel, DeviceArrivedCode);
    EXPECT_EQ (slider.getValue(), 512.0);

    panel.sliderDragStarted (&slider);
    slider.setValue (2048.0, juce::dontSendNotification);
    deliver (panel, DeviceRemovedCode);
    panel.sliderDragEnded (&slider);
    deliver (panel, DeviceArrivedCode);
    EXPECT_EQ (slider.getValue(), 512.0);
    EXPECT_EQ (writesIn (driver), juce::StringArray ("SetASIOBufferSize 1000"));
}

TEST (UnreportedValues, ADragShowsTheValueItSetsWhileTheDriverCannotReportASize)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetASIOBufferSize 3\n");
    PanelOnDesktop desktop;
    auto& panel = desktop.panel;
    auto& slider = sliderOf (panel);
    ASSERT_TRUE (slider.isEnabled());
    ASSERT_EQ (shownSliderText (panel), "");

    // A press on the track and a drag along it, through the window as the mouse does.
    auto& peer = *panel.getPeer();
    const auto y = (float) slider.getY() + 15.0f;
    auto when = juce::Time::currentTimeMillis();
    const auto mouse = [&] (float x, juce::ModifierKeys buttons)
    {
        peer.handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse, { x, y }, buttons,
                               juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation, ++when);
    };

    const juce::ModifierKeys left (juce::ModifierKeys::leftButtonModifier);
    mouse ((float) slider.getX() + 100.0f, {});
    mouse ((float) slider.getX() + 100.0f, left);
    mouse ((float) slider.getX() + 150.0f, left);

    const auto dragged = slider.getValue();
    EXPECT_GT (dragged, 64.0);
    EXPECT_EQ (shownSliderText (panel), juce::String (juce::roundToInt (dragged)) + " samples");

    // Released: written, and still shown although the read-back fails.
    driver.clearLog();
    mouse ((float) slider.getX() + 150.0f, {});
    ASSERT_TRUE (deliverQueuedMessages());
    EXPECT_EQ (writesIn (driver), juce::StringArray ("SetASIOBufferSize " + juce::String (juce::roundToInt (dragged))));
    EXPECT_EQ (shownSliderText (panel), juce::String (juce::roundToInt (dragged)) + " samples");
}
