// How the settings panel follows interfaces and talks to the driver, checked
// against the simulated driver's call log.

#include "MainWindowContentTestSupport.h"

using namespace panel_test;

namespace
{
int countNamed (const std::vector<Call>& calls, const juce::String& name)
{
    return (int) std::count_if (calls.begin(), calls.end(), [&] (const Call& c) { return c.name == name; });
}

juce::StringArray writesIn (const SimulatedDriver& driver)
{
    juce::StringArray writes;

    for (const auto& call : driver.calls())
        if (call.name == "TUSBAUDIO_SetUsbStreamingMode" || call.name == "TUSBAUDIO_SetASIOBufferSize")
            writes.add (call.name + " " + call.inputs.joinIntoString (" "));

    return writes;
}
} // namespace

TEST (MainWindowContentActions, StartingWithOneInterfaceEnablesBothControlsAndReadsBothSettingsWithoutWriting)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;

    EXPECT_TRUE (comboOf (panel).isEnabled());
    EXPECT_TRUE (sliderOf (panel).isEnabled());
    EXPECT_EQ (comboOf (panel).getSelectedId(), 4);
    EXPECT_EQ (comboOf (panel).getText(), "4 milliseconds");
    EXPECT_EQ (sliderOf (panel).getValue(), 256.0);
    EXPECT_EQ (sliderOf (panel).getTextFromValue (sliderOf (panel).getValue()), "256 samples");
    ASSERT_NE (panel.getCurrentDevice(), nullptr);

    const auto calls = driver.calls();
    EXPECT_EQ (countNamed (calls, "TUSBAUDIO_RegisterPnpNotification"), 1);
    EXPECT_EQ (countNamed (calls, "TUSBAUDIO_GetUsbStreamingMode"), 1);
    EXPECT_EQ (countNamed (calls, "TUSBAUDIO_GetASIOBufferSize"), 1);
    EXPECT_EQ (writesIn (driver), juce::StringArray());
}

TEST (MainWindowContentActions, StartingWithNoInterfaceLeavesBothControlsDisabledAndReadsNoSetting)
{
    const SimulatedDriver driver;
    driver.setState ({});

    MainWindowContent panel;

    EXPECT_FALSE (comboOf (panel).isEnabled());
    EXPECT_FALSE (sliderOf (panel).isEnabled());
    EXPECT_EQ (panel.getCurrentDevice(), nullptr);

    const auto names = driver.callNames();
    EXPECT_FALSE (names.contains ("TUSBAUDIO_GetUsbStreamingMode"));
    EXPECT_FALSE (names.contains ("TUSBAUDIO_GetASIOBufferSize"));
    EXPECT_FALSE (names.contains ("TUSBAUDIO_GetCurrentSampleRate"));
    EXPECT_EQ (writesIn (driver), juce::StringArray());
}

TEST (MainWindowContentActions, WithTwoInterfacesTheHigherIndexIsCurrentButTheMinimumComesFromIndexZero)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1, "100") + SimulatedDriver::interfaceLine (2, "200"));

    MainWindowContent panel;

    ASSERT_NE (panel.getCurrentDevice(), nullptr);
    EXPECT_EQ (panel.getCurrentDevice()->index, 1u);
    EXPECT_EQ (MainWindowContent::deviceText (panel.getCurrentDevice()), "Firmware version 200");

    // The opens after the scans belong to the clamp: one, of index 0, closed once.
    const auto calls = driver.calls();
    const auto rate = std::find_if (calls.begin(), calls.end(), [] (const Call& c) { return c.name == "TUSBAUDIO_GetCurrentSampleRate"; });
    ASSERT_NE (rate, calls.end());
    const auto open = std::find_if (std::make_reverse_iterator (rate), calls.rend(),
                                    [] (const Call& c) { return c.name == "TUSBAUDIO_OpenDeviceByIndex"; });
    ASSERT_NE (open, calls.rend());
    EXPECT_EQ (open->input (0), "0");
    EXPECT_EQ (countNamed ({ rate, calls.end() }, "TUSBAUDIO_CloseDevice"), 1);
}

TEST (MainWindowContentActions, PickingTheItemLabelled23MillisecondsWritesItsId32)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    driver.clearLog();

    comboOf (panel).setSelectedId (32, juce::sendNotificationSync);

    EXPECT_EQ (writesIn (driver), juce::StringArray ("TUSBAUDIO_SetUsbStreamingMode 32"));
    EXPECT_EQ (comboOf (panel).getText(), "23 milliseconds");

    // Both settings are read back after the write.
    const auto names = driver.callNames();
    EXPECT_GT (names.indexOf ("TUSBAUDIO_GetUsbStreamingMode"), names.indexOf ("TUSBAUDIO_SetUsbStreamingMode"));
    EXPECT_GT (names.indexOf ("TUSBAUDIO_GetASIOBufferSize"), names.indexOf ("TUSBAUDIO_SetUsbStreamingMode"));
}

TEST (MainWindowContentActions, ASliderChangeWritesTheValueOnceAndARefusedWriteShowsTheDriversValueAgain)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    driver.clearLog();

    sliderOf (panel).setValue (300.0, juce::sendNotificationSync);
    EXPECT_EQ (writesIn (driver), juce::StringArray ("TUSBAUDIO_SetASIOBufferSize 300"));
    EXPECT_EQ (sliderOf (panel).getValue(), 300.0);

    driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 300\nfail TUSBAUDIO_SetASIOBufferSize 5\n");
    driver.clearLog();
    sliderOf (panel).setValue (1000.0, juce::sendNotificationSync);
    EXPECT_EQ (writesIn (driver), juce::StringArray ("TUSBAUDIO_SetASIOBufferSize 1000"));
    EXPECT_EQ (sliderOf (panel).getValue(), 300.0);
}

TEST (MainWindowContentActions, AStreamingModeMatchingNoItemShowsNoTextAndWritesNothing)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "streaming-mode 3\n");

    MainWindowContent panel;

    EXPECT_EQ (comboOf (panel).getText(), "");
    EXPECT_EQ (comboOf (panel).getSelectedItemIndex(), -1);
    EXPECT_EQ (writesIn (driver), juce::StringArray());
}

TEST (MainWindowContentActions, ASizeBelowTheMinimumShowsTheMinimumAndWritesNothing)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 64\nsample-rate 96000\n");

    MainWindowContent panel;

    EXPECT_EQ (sliderOf (panel).getValue(), 128.0);
    EXPECT_EQ (writesIn (driver), juce::StringArray());

    const auto minimum = driver.callsNamed ("TUSBAUDIO_GetMinimumASIOBufferSize");
    ASSERT_EQ (minimum.size(), 1u);
    EXPECT_EQ (minimum[0].input (0), "96000");
}

TEST (MainWindowContentActions, AFailedStepOfTheReadBackLeavesTheSliderAsItWasAndClosesWhatItOpened)
{
    struct Case
    {
        const char* failing;
        int expectedCloses;
    };

    // The driver now holds 512, yet the slider keeps the 256 it showed.
    const Case cases[] = {
        { "TUSBAUDIO_GetASIOBufferSize", 0 },
        { "TUSBAUDIO_OpenDeviceByIndex", 0 },
        { "TUSBAUDIO_GetCurrentSampleRate", 1 },
        { "TUSBAUDIO_GetMinimumASIOBufferSize", 1 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.failing);
        const SimulatedDriver driver;
        driver.setState (SimulatedDriver::interfaceLine (1));

        MainWindowContent panel;
        ASSERT_EQ (sliderOf (panel).getValue(), 256.0);

        driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 512\nfail " + c.failing + " 9\n");
        driver.clearLog();
        comboOf (panel).setSelectedId (8, juce::sendNotificationSync);

        EXPECT_EQ (sliderOf (panel).getValue(), 256.0);
        EXPECT_EQ (comboOf (panel).getSelectedId(), 8);
        EXPECT_EQ (countNamed (driver.calls(), "TUSBAUDIO_CloseDevice"), c.expectedCloses);
    }
}

TEST (MainWindowContentActions, RemovalDisablesBothControlsEvenWithAnInterfaceLeft)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + SimulatedDriver::interfaceLine (2));

    MainWindowContent panel;
    ASSERT_TRUE (comboOf (panel).isEnabled());
    driver.clearLog();

    deliver (panel, DeviceRemovedCode);

    EXPECT_FALSE (comboOf (panel).isEnabled());
    EXPECT_FALSE (sliderOf (panel).isEnabled());
    EXPECT_EQ (panel.getCurrentDevice(), nullptr);
    EXPECT_EQ (driver.callNames(), juce::StringArray());   // no rescan on a removal
}

TEST (MainWindowContentActions, ArrivalRescansTakesTheNewInterfaceAndReadsBothSettings)
{
    const SimulatedDriver driver;
    driver.setState ({});

    MainWindowContent panel;
    ASSERT_FALSE (comboOf (panel).isEnabled());

    driver.setState (SimulatedDriver::interfaceLine (7, "3c") + "streaming-mode 16\nasio-buffer-size 1024\n");
    driver.clearLog();
    deliver (panel, DeviceArrivedCode);

    EXPECT_TRUE (comboOf (panel).isEnabled());
    EXPECT_TRUE (sliderOf (panel).isEnabled());
    EXPECT_EQ (MainWindowContent::deviceText (panel.getCurrentDevice()), "Firmware version 3c");
    EXPECT_EQ (comboOf (panel).getSelectedId(), 16);
    EXPECT_EQ (sliderOf (panel).getValue(), 1024.0);
    EXPECT_TRUE (driver.callNames().contains ("TUSBAUDIO_EnumerateDevices"));
    EXPECT_EQ (writesIn (driver), juce::StringArray());
}

TEST (MainWindowContentActions, AMessageWithAnotherCodeOrTypeChangesNothing)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    const auto* device = panel.getCurrentDevice();
    driver.setState ({});
    driver.clearLog();

    for (const int code : { 0, 1, 2, DeviceArrivedCode + 2, -1 })
        deliver (panel, code);

    const juce::Message::Ptr plainMessage = new juce::Message();
    panel.handleMessage (*plainMessage);

    EXPECT_TRUE (comboOf (panel).isEnabled());
    EXPECT_EQ (panel.getCurrentDevice(), device);
    EXPECT_EQ (driver.callNames(), juce::StringArray());
}

TEST (MainWindowContentActions, ARescanFindingNothingKeepsTheShownInterfaceAliveForTheRepaint)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1, "beef"));

    MainWindowContent panel;
    panel.setSize (500, 350);

    driver.setState ({});
    deliver (panel, DeviceArrivedCode);

    // The controls keep their state; the record the list released is still ours to read.
    EXPECT_TRUE (comboOf (panel).isEnabled());
    EXPECT_TRUE (sliderOf (panel).isEnabled());
    ASSERT_NE (panel.getCurrentDevice(), nullptr);
    EXPECT_EQ (panel.getCurrentDevice()->properties.firmwareVersion, 0xbeefu);

    const auto image = paintedPanel (panel);
    const auto line = MainWindowContent::computeLayout (500, 350, 318, 207).firmwareLine;
    EXPECT_FALSE (darkRows (image, line).isEmpty());

    // A removal then drops it, and the next paint says so.
    deliver (panel, DeviceRemovedCode);
    EXPECT_EQ (panel.getCurrentDevice(), nullptr);
    EXPECT_EQ (MainWindowContent::deviceText (panel.getCurrentDevice()), "Vesk 2 not connected");
}

TEST (MainWindowContentActions, ABurstOfNoticesIsActedOnOnceAsTheNoticesInOrderWouldLeaveIt)
{
    // 'A' an arrival, 'R' a removal, all taken before the panel's update runs.
    struct Case { const char* notices; bool interfaceLeft; bool expectEnabled; bool expectDevice; int expectedScans; };
    const Case cases[] = {
        { "AAAAAAAAAAAAAAAAAAAA", true,  true,  true,  1 },
        { "RRRRRRRRRRRRRRRRRRRR", true,  false, false, 0 },
        { "RARARARARA",           true,  true,  true,  1 },
        { "ARARARARAR",           true,  false, false, 0 },
        { "RA",                   false, false, false, 1 },     // the rescan finds nothing: the removal stands
        { "AA",                   false, true,  true,  1 },     // nothing found, nothing removed: as it was
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.notices);
        const SimulatedDriver driver;
        driver.setState (SimulatedDriver::interfaceLine (1));
        MainWindowContent panel;

        driver.setState (c.interfaceLeft ? SimulatedDriver::interfaceLine (2, "3c") : juce::String());
        driver.clearLog();

        for (const auto* notice = c.notices; *notice != 0; ++notice)
            notify (panel, *notice == 'A' ? DeviceArrivedCode : DeviceRemovedCode);

        EXPECT_EQ (driver.callNames(), juce::StringArray());     // nothing before the update
        panel.getArrivalPacer().rescanNowIfPending();

        EXPECT_EQ (comboOf (panel).isEnabled(), c.expectEnabled);
        EXPECT_EQ (sliderOf (panel).isEnabled(), c.expectEnabled);
        EXPECT_EQ (panel.getCurrentDevice() != nullptr, c.expectDevice);
        EXPECT_EQ (countNamed (driver.calls(), "TUSBAUDIO_EnumerateDevices"), c.expectedScans);
        EXPECT_EQ (writesIn (driver), juce::StringArray());
    }
}

TEST (MainWindowContentActions, DestroyingThePanelUnregistersFromTheDriver)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    {
        MainWindowContent panel;
        driver.clearLog();
    }

    EXPECT_TRUE (driver.callNames().contains ("TUSBAUDIO_UnregisterPnpNotification"));
}

TEST (MainWindowContentActions, ArrivalsSoonAfterARescanWaitOutTheSpacingThenRescanOnce)
{
    // The interfaces stay as they are: a change would bring the simulator's own notices.
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1, "3c"));
    MainWindowContent panel;
    const auto beforeRescan = juce::Time::getMillisecondCounter();
    deliver (panel, DeviceArrivedCode);
    driver.clearLog();

    for (const int code : { DeviceRemovedCode, DeviceArrivedCode, DeviceRemovedCode, DeviceArrivedCode })
        notify (panel, code);

    // Right after a rescan: nothing is queued, so the message thread can run dry. Only a
    // machine that stalled for the whole spacing since the rescan began may queue it at once.
    if (juce::Time::getMillisecondCounter() - beforeRescan < ArrivalPacer::minimumUpdateSpacingMs)
    {
        EXPECT_FALSE (panel.getArrivalPacer().isRescanQueued());
    }

    EXPECT_EQ (driver.callNames(), juce::StringArray());

    ASSERT_TRUE (dispatchUntil ([&] { return countNamed (driver.calls(), "TUSBAUDIO_EnumerateDevices") != 0; }));
    EXPECT_EQ (countNamed (driver.calls(), "TUSBAUDIO_EnumerateDevices"), 1);
    EXPECT_EQ (MainWindowContent::deviceText (panel.getCurrentDevice()), "Firmware version 3c") << "the rescan undid the removals";

    // An arrival after the spacing has passed is queued at once.
    juce::Thread::sleep (ArrivalPacer::minimumUpdateSpacingMs + 10);
    notify (panel, DeviceArrivedCode);
    EXPECT_TRUE (panel.getArrivalPacer().isRescanQueued());
}

TEST (MainWindowContentActions, ARemovalSoonAfterARescanDisablesBothControlsAtOnceAndDropsTheArrivalItOvertook)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));
    MainWindowContent panel;
    deliver (panel, DeviceArrivedCode);
    ASSERT_TRUE (comboOf (panel).isEnabled());

    // Within the spacing that an arrival would wait out; checked before any other message is handled.
    notify (panel, DeviceRemovedCode);

    EXPECT_FALSE (comboOf (panel).isEnabled());
    EXPECT_FALSE (sliderOf (panel).isEnabled());
    EXPECT_EQ (panel.getCurrentDevice(), nullptr);

    // The removal leaves no arrival for even an immediate rescan to act on.
    driver.clearLog();
    notify (panel, DeviceArrivedCode);
    deliver (panel, DeviceRemovedCode);

    EXPECT_EQ (driver.callNames(), juce::StringArray());
    EXPECT_FALSE (comboOf (panel).isEnabled());
}
