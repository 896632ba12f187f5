// The latency tooltips: what they say, which driver calls they make and when
// (only once a tip is about to show, never on paint), and how the tooltip
// window waits for the pointer to rest before it asks for a tip.

#include "MainWindowContentTestSupport.h"

#include "panel/LatencyText.h"

using namespace panel_test;

namespace
{
const juce::StringArray rateCalls { "TUSBAUDIO_OpenDeviceByIndex", "TUSBAUDIO_GetCurrentSampleRate", "TUSBAUDIO_CloseDevice" };
} // namespace

TEST (LatencyTooltips, LatenciesAreWorkedOutExactlyAndSaidWithTheRateInKilohertz)
{
    const std::pair<uint32_t, const char*> rates[] = {
        { 48000, "48 kHz" }, { 44100, "44.1 kHz" }, { 96000, "96 kHz" }, { 88200, "88.2 kHz" },
        { 22050, "22.05 kHz" }, { 11025, "11.025 kHz" }, { 8000, "8 kHz" }, { 192000, "192 kHz" }, { 1, "0.001 kHz" },
    };

    for (const auto& [rate, text] : rates)
        EXPECT_EQ (LatencyText::kilohertz (rate), text);

    struct Case
    {
        uint32_t samples, rate;
        const char* text;
    };

    const Case asio[] = {
        { 256, 48000, "256 samples = 5.3 ms at 48 kHz" },
        { 64, 44100, "64 samples = 1.5 ms at 44.1 kHz" },
        { 2048, 96000, "2048 samples = 21.3 ms at 96 kHz" },
        { 480, 48000, "480 samples = 10.0 ms at 48 kHz" },
        { 3, 20000, "3 samples = 0.2 ms at 20 kHz" },           // 0.15 exactly: the half rounds up
        { 4294967295u, 1, "4294967295 samples = 4294967295000.0 ms at 0.001 kHz" },
        { 256, 0, "" },
    };

    for (const auto& c : asio)
        EXPECT_EQ (LatencyText::asioBufferSize (c.samples, c.rate), c.text);

    const Case usb[] = {
        { 4, 48000, "4 milliseconds = 192 samples at 48 kHz" },
        { 23, 48000, "23 milliseconds = 1104 samples at 48 kHz" },
        { 1, 44100, "1 millisecond = 44.1 samples at 44.1 kHz" },
        { 23, 44100, "23 milliseconds = 1014.3 samples at 44.1 kHz" },
        { 16, 96000, "16 milliseconds = 1536 samples at 96 kHz" },
        { 4, 0, "" },
    };

    for (const auto& c : usb)
    {
        const auto itemText = juce::String (c.samples) + (c.samples == 1 ? " millisecond" : " milliseconds");
        EXPECT_EQ (LatencyText::usbBufferSize (itemText, c.samples, c.rate), c.text);
    }
}

TEST (LatencyTooltips, EachTipReadsTheRateOfIndexZeroOnceAndClosesIt)
{
    struct Case
    {
        const char* settings;
        const char* comboTip;
        const char* sliderTip;
    };

    const Case cases[] = {
        { "", "4 milliseconds = 192 samples at 48 kHz", "256 samples = 5.3 ms at 48 kHz" },
        { "sample-rate 44100\nstreaming-mode 32\nasio-buffer-size 512\n",
          "23 milliseconds = 1014.3 samples at 44.1 kHz", "512 samples = 11.6 ms at 44.1 kHz" },
        { "sample-rate 96000\nstreaming-mode 1\nasio-buffer-size 2048\n",
          "1 millisecond = 96 samples at 96 kHz", "2048 samples = 21.3 ms at 96 kHz" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.settings);
        const SimulatedDriver driver;
        driver.setState (SimulatedDriver::interfaceLine (1) + c.settings);

        MainWindowContent panel;
        driver.clearLog();
        EXPECT_EQ (panel.getTooltips().workOutTooltip (comboOf (panel)), c.comboTip);
        EXPECT_EQ (driver.callNames(), rateCalls);

        const auto open = driver.callsNamed ("TUSBAUDIO_OpenDeviceByIndex");
        ASSERT_EQ (open.size(), 1u);
        EXPECT_EQ (open[0].input (0), "0");

        driver.clearLog();
        EXPECT_EQ (panel.getTooltips().workOutTooltip (sliderOf (panel)), c.sliderTip);
        EXPECT_EQ (driver.callNames(), rateCalls);
    }
}

TEST (LatencyTooltips, AFailedCallOrAnEmptyComboBoxGivesNoTipNeverAMadeUpOne)
{
    struct Case
    {
        const char* failing;
        juce::StringArray expectedCalls;
    };

    const Case cases[] = {
        { "TUSBAUDIO_OpenDeviceByIndex", { "TUSBAUDIO_OpenDeviceByIndex" } },
        { "TUSBAUDIO_GetCurrentSampleRate", rateCalls },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.failing);
        const SimulatedDriver driver;
        driver.setState (SimulatedDriver::interfaceLine (1));

        MainWindowContent panel;
        driver.setState (SimulatedDriver::interfaceLine (1) + "fail " + c.failing + " 4\n");
        driver.clearLog();

        EXPECT_EQ (panel.getTooltips().workOutTooltip (sliderOf (panel)), "");
        EXPECT_EQ (panel.getTooltips().workOutTooltip (comboOf (panel)), "");
        auto twice = c.expectedCalls;
        twice.addArray (c.expectedCalls);
        EXPECT_EQ (driver.callNames(), twice);
    }

    // A mode that matches no item, a size never read: nothing to say, and nothing is asked.
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "streaming-mode 3\nfail TUSBAUDIO_GetASIOBufferSize 6\n");
    MainWindowContent panel;
    ASSERT_TRUE (sliderOf (panel).isEnabled());
    driver.clearLog();
    EXPECT_EQ (panel.getTooltips().workOutTooltip (comboOf (panel)), "");
    EXPECT_EQ (panel.getTooltips().workOutTooltip (sliderOf (panel)), "");
    EXPECT_EQ (panel.getTooltips().workOutTooltip (panel), "");
    EXPECT_EQ (driver.callNames(), juce::StringArray());
}

TEST (LatencyTooltips, PaintingAndStartingAskTheDriverForNoRateBeyondTheClamp)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    panel.setSize (500, 350);

    // Start-up reads the rate once, for the clamp, and makes no tooltip window.
    EXPECT_EQ (driver.callsNamed ("TUSBAUDIO_GetCurrentSampleRate").size(), 1u);
    EXPECT_EQ (driver.callsNamed ("TUSBAUDIO_GetMinimumASIOBufferSize").size(), 1u);
    EXPECT_EQ (panel.getTooltips().getTooltipWindow(), nullptr);

    driver.clearLog();
    paintedPanel (panel);
    panel.createComponentSnapshot (panel.getLocalBounds(), true);
    EXPECT_EQ (driver.callNames(), juce::StringArray ({ "TUSBAUDIO_GetDriverInfo", "TUSBAUDIO_GetDriverInfo" }));
}

//==============================================================================
namespace
{
/** Two controls in a parent, one with a child, and a tooltip window over them
    with a clock the test moves and a source that counts its questions. */
struct TooltipRig
{
    TooltipRig()
    {
        parent.addAndMakeVisible (first);
        parent.addAndMakeVisible (second);
        parent.addAndMakeVisible (elsewhere);
        first.addAndMakeVisible (firstChild);
    }

    juce::String tip (juce::Component& component)     { return window.getTipFor (component); }

    juce::Component parent, first, second, elsewhere, firstChild;
    juce::uint32 now = 1000;
    juce::StringArray asked;
    juce::String answer = "a tip";

    DeferredTooltipWindow window { parent,
                                   { &first, &second },
                                   [this] (juce::Component& c)
                                   {
                                       asked.add (c.getName());
                                       return answer.isEmpty() ? juce::String() : answer + " for " + c.getName();
                                   },
                                   700,
                                   [this] { return now; } };
};
} // namespace

TEST (LatencyTooltips, TheWindowAsksForATipOnlyOnceThePointerHasRestedAndOncePerRest)
{
    TooltipRig rig;
    rig.first.setName ("first");
    rig.second.setName ("second");

    // Ticks while the pointer rests on the first control: nothing until 700 ms.
    EXPECT_EQ (rig.tip (rig.first), "");
    rig.now += 699;
    EXPECT_EQ (rig.tip (rig.firstChild), "");
    EXPECT_TRUE (rig.asked.isEmpty());

    rig.now += 1;
    EXPECT_EQ (rig.tip (rig.first), "a tip for first");

    // Later ticks keep the tip without asking again, on the control or its child.
    for (int tick = 0; tick < 20; ++tick)
    {
        rig.now += 123;
        EXPECT_EQ (rig.tip (tick % 2 == 0 ? rig.first : rig.firstChild), "a tip for first");
    }

    EXPECT_EQ (rig.asked, juce::StringArray ("first"));

    // Onto the other control: the rest starts again.
    EXPECT_EQ (rig.tip (rig.second), "");
    rig.now += 700;
    EXPECT_EQ (rig.tip (rig.second), "a tip for second");

    // Off the controls, then back: a fresh rest and a fresh question.
    EXPECT_EQ (rig.tip (rig.elsewhere), "");
    EXPECT_EQ (rig.tip (rig.second), "");
    rig.now += 700;
    EXPECT_EQ (rig.tip (rig.second), "a tip for second");
    EXPECT_EQ (rig.asked, juce::StringArray ({ "first", "second", "second" }));
    EXPECT_EQ (rig.window.getNumTipsWorkedOut(), 3);
}

TEST (LatencyTooltips, APressADisabledControlOrAForgottenTipStartsTheRestAgain)
{
    TooltipRig rig;
    rig.first.setName ("first");
    rig.tip (rig.first);
    rig.now += 700;
    ASSERT_EQ (rig.tip (rig.first), "a tip for first");

    // A mouse button held (a drag): no tip, and the rest starts over after it.
    const auto modifiers = juce::ModifierKeys::currentModifiers;
    juce::ModifierKeys::currentModifiers = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
    EXPECT_EQ (rig.tip (rig.first), "");
    juce::ModifierKeys::currentModifiers = modifiers;
    EXPECT_EQ (rig.tip (rig.first), "");
    rig.now += 700;
    EXPECT_EQ (rig.tip (rig.first), "a tip for first");

    rig.first.setEnabled (false);
    rig.now += 5000;
    EXPECT_EQ (rig.tip (rig.first), "");
    rig.first.setEnabled (true);

    // What the tip described changed: it is asked again after a new rest.
    rig.window.forgetTip();
    rig.answer = "another tip";
    EXPECT_EQ (rig.tip (rig.first), "");
    rig.now += 700;
    EXPECT_EQ (rig.tip (rig.first), "another tip for first");

    // An empty answer is no tip, and is not asked again during the same rest.
    rig.window.forgetTip();
    rig.answer = {};
    rig.tip (rig.first);
    rig.now += 700;
    EXPECT_EQ (rig.tip (rig.first), "");
    rig.now += 123;
    EXPECT_EQ (rig.tip (rig.first), "");
    EXPECT_EQ (rig.asked.size(), 4);
}
