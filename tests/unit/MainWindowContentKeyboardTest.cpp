// The settings panel from the keyboard: the slider's keys each write the driver
// once through the same path as a release, Tab moves the focus between the two
// controls, and Ctrl+C copies the support report.

// GoogleTest before the X headers JUCE adds for the window's state: X's macros take its names.
#include <gtest/gtest.h>

#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include "MainWindowContentDesktopSupport.h"

using namespace panel_test;
using juce::KeyPress;

namespace
{
// X gives the focus only to a viewable window, and the server maps a new one in its own time.
bool isViewable (juce::ComponentPeer& peer)
{
    XWindowAttributes attributes {};
    const juce::XWindowSystemUtilities::ScopedXLock lock;

    return juce::X11Symbols::getInstance()->xGetWindowAttributes (juce::XWindowSystem::getInstance()->getDisplay(),
                                                                  (::Window) peer.getNativeHandle(), &attributes) != 0
        && attributes.map_state == IsViewable;
}

juce::StringArray asioWrites (const SimulatedDriver& driver)
{
    juce::StringArray writes;

    for (const auto& call : driver.callsNamed ("TUSBAUDIO_SetASIOBufferSize"))
        writes.add (call.input (0));

    return writes;
}

const KeyPress copyKey ('c', juce::ModifierKeys::commandModifier, 0);
} // namespace

TEST (MainWindowContentKeyboard, PageKeysMoveToTheNextPowerOfTwoWithinTheRange)
{
    struct Case
    {
        double from;
        bool upwards;
        double expected;
    };

    const Case cases[] = {
        { 300, true, 512 }, { 300, false, 256 }, { 256, true, 512 }, { 256, false, 128 },
        { 64, true, 128 }, { 64, false, 64 }, { 65, false, 64 }, { 100, false, 64 },
        { 1500, true, 2048 }, { 2048, true, 2048 }, { 2048, false, 1024 }, { 2047, true, 2048 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.from) + (c.upwards ? " up" : " down"));
        EXPECT_EQ (BufferSizeSlider::nextPowerOfTwo (c.from, c.upwards, 64.0, 2048.0), c.expected);
    }
}

TEST (MainWindowContentKeyboard, EachSliderKeyWritesOnceAndReadsBothSettingsBack)
{
    struct Case
    {
        int keyCode;
        const char* name;
        const char* written;   // nullptr: the key leaves the value, and nothing is written
        int startingSize = 256;
    };

    const Case cases[] = {
        { KeyPress::rightKey, "right", "257" },
        { KeyPress::upKey, "up", "257" },
        { KeyPress::leftKey, "left", "255" },
        { KeyPress::downKey, "down", "255" },
        { KeyPress::pageUpKey, "page up", "512" },
        { KeyPress::pageDownKey, "page down", "128" },
        { KeyPress::homeKey, "home", "64" },
        { KeyPress::endKey, "end", "2048" },
        { KeyPress::endKey, "end at the end", nullptr, 2048 },
        { KeyPress::homeKey, "home at the start", nullptr, 64 },
        { KeyPress::pageDownKey, "page down at the start", nullptr, 64 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const SimulatedDriver driver;
        driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size " + juce::String (c.startingSize) + "\n");

        MainWindowContent panel;
        ASSERT_EQ (sliderOf (panel).getValue(), (double) c.startingSize);
        driver.clearLog();

        EXPECT_TRUE (sliderOf (panel).keyPressed (KeyPress (c.keyCode)));

        if (c.written == nullptr)
        {
            EXPECT_EQ (driver.callNames(), juce::StringArray());
            continue;
        }

        EXPECT_EQ (asioWrites (driver), juce::StringArray (c.written));
        EXPECT_EQ (sliderOf (panel).getValue(), juce::String (c.written).getDoubleValue());

        // The write, then the read-back of both settings, as after a release.
        const auto names = driver.callNames();
        EXPECT_EQ (names[0], "TUSBAUDIO_SetASIOBufferSize");
        EXPECT_TRUE (names.contains ("TUSBAUDIO_GetUsbStreamingMode"));
        EXPECT_TRUE (names.contains ("TUSBAUDIO_GetASIOBufferSize"));
    }
}

TEST (MainWindowContentKeyboard, ARefusedKeyboardWriteShowsTheDriversValueAgain)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_SetASIOBufferSize 5\n");

    MainWindowContent panel;
    driver.clearLog();
    sliderOf (panel).keyPressed (KeyPress (KeyPress::pageUpKey));

    EXPECT_EQ (asioWrites (driver), juce::StringArray ("512"));
    EXPECT_EQ (sliderOf (panel).getValue(), 256.0);
}

TEST (MainWindowContentKeyboard, KeysWithModifiersOrOnADisabledSliderWriteNothing)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    driver.clearLog();

    EXPECT_FALSE (sliderOf (panel).keyPressed (KeyPress (KeyPress::pageUpKey, juce::ModifierKeys::shiftModifier, 0)));
    EXPECT_FALSE (sliderOf (panel).keyPressed (KeyPress (KeyPress::rightKey, juce::ModifierKeys::ctrlModifier, 0)));

    deliver (panel, DeviceRemovedCode);

    for (const int keyCode : { KeyPress::rightKey, KeyPress::leftKey, KeyPress::pageUpKey, KeyPress::homeKey, KeyPress::endKey })
        EXPECT_FALSE (sliderOf (panel).keyPressed (KeyPress (keyCode)));

    // Neither is Tab taken while there is nothing to move the focus to.
    EXPECT_FALSE (panel.getKeys().keyPressed (KeyPress (KeyPress::tabKey), &panel));

    EXPECT_EQ (sliderOf (panel).getValue(), 256.0);
    EXPECT_EQ (driver.callNames(), juce::StringArray());
}

TEST (MainWindowContentKeyboard, CtrlCCopiesTheReportToTheClipboard)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    PanelOnDesktop desktop;
    auto& panel = desktop.panel;
    paintedPanel (panel);
    juce::SystemClipboard::copyTextToClipboard ("something else");

    // Through the key's way up from the focused component: here the panel is the top level.
    ASSERT_NE (panel.getPeer(), nullptr);
    EXPECT_TRUE (panel.getPeer()->handleKeyPress (copyKey));

    EXPECT_EQ (juce::SystemClipboard::getTextFromClipboard(), panel.getReport().create());
    EXPECT_TRUE (panel.getReport().create().contains ("ASIO Buffer Size: 256 samples"));
}

TEST (MainWindowContentKeyboard, TabMovesTheFocusComboBoxThenSliderAndKeysThenReachTheFocusedControl)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));
    PanelOnDesktop desktop;
    auto& panel = desktop.panel;
    auto& peer = *panel.getPeer();

    ASSERT_TRUE (dispatchUntil ([&] { return isViewable (peer); }));
    EXPECT_FALSE (panel.hasKeyboardFocus (true));

    const KeyPress tab (KeyPress::tabKey), backTab (KeyPress::tabKey, juce::ModifierKeys::shiftModifier, 0);
    juce::StringArray focused;
    const auto press = [&] (const KeyPress& key)
    {
        EXPECT_TRUE (peer.handleKeyPress (key));
        auto* now = juce::Component::getCurrentlyFocusedComponent();
        focused.add (now != nullptr ? now->getName() : "none");
    };

    press (tab);
    press (tab);
    press (tab);
    press (backTab);
    EXPECT_EQ (focused.joinIntoString (" "), "USBLatencyCombo ASIOBufferSize USBLatencyCombo ASIOBufferSize");

    // The focused slider takes End; Ctrl+C goes past it to the panel.
    driver.clearLog();
    EXPECT_TRUE (peer.handleKeyPress (KeyPress (KeyPress::endKey)));
    EXPECT_EQ (asioWrites (driver), juce::StringArray ("2048"));
    juce::SystemClipboard::copyTextToClipboard ({});
    EXPECT_TRUE (peer.handleKeyPress (copyKey));
    EXPECT_TRUE (juce::SystemClipboard::getTextFromClipboard().contains ("ASIO Buffer Size: 2048 samples"));

    // Pulled out: the focus goes, and the slider no longer wants it, so a click
    // moves the focus as it did before the slider took keys.
    deliver (panel, DeviceRemovedCode);
    EXPECT_FALSE (panel.hasKeyboardFocus (true));
    EXPECT_FALSE (sliderOf (panel).getWantsKeyboardFocus());
    EXPECT_FALSE (peer.handleKeyPress (KeyPress (KeyPress::endKey)));
}
