// The support report: what the panel shows, as text, without a driver call.

#include "MainWindowContentTestSupport.h"

using namespace panel_test;

TEST (SupportReport, TheReportSaysWhatThePanelShowsWithoutAskingTheDriver)
{
    struct Case
    {
        const char* name;
        juce::String state;
        bool removed;
        const char* report;
    };

    const Case cases[] = {
        { "connected", SimulatedDriver::interfaceLine (1), false,
          "Driver version 5.12\nFirmware version 1a2\nUSB Buffer Size: 4 milliseconds\nASIO Buffer Size: 256 samples\n" },
        { "23 ms and 2048", SimulatedDriver::interfaceLine (1, "ffffffff") + "streaming-mode 32\nasio-buffer-size 2048\n", false,
          "Driver version 5.12\nFirmware version ffffffff\nUSB Buffer Size: 23 milliseconds\nASIO Buffer Size: 2048 samples\n" },
        { "no driver information", SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetDriverInfo 2\n", false,
          "Firmware version 1a2\nUSB Buffer Size: 4 milliseconds\nASIO Buffer Size: 256 samples\n" },
        { "a mode matching no item", SimulatedDriver::interfaceLine (1) + "streaming-mode 3\n", false,
          "Driver version 5.12\nFirmware version 1a2\nASIO Buffer Size: 256 samples\n" },
        { "nothing connected", {}, false, "Driver version 5.12\nVesk 2 not connected\n" },
        { "pulled out", SimulatedDriver::interfaceLine (1), true, "Driver version 5.12\nVesk 2 not connected\n" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const SimulatedDriver driver;
        driver.setState (c.state);

        MainWindowContent panel;
        panel.setSize (500, 350);

        if (c.removed)
            deliver (panel, DeviceRemovedCode);

        paintedPanel (panel);
        driver.clearLog();

        EXPECT_EQ (panel.getReport().create(), c.report);
        EXPECT_EQ (driver.callNames(), juce::StringArray());
    }
}
