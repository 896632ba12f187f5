// What the settings panel paints: its two text lines where they belong, the
// firmware word in hexadecimal, the driver line only when the driver answers,
// and the logo decoded once however often the panel paints.

#include "MainWindowContentTestSupport.h"

#include "resources/LogoData.h"

using namespace panel_test;

namespace
{
constexpr int panelWidth = 500, panelHeight = 350;

/** The panel's gradient with one text drawn as the panel draws its version lines. */
juce::Image expectedLine (const juce::String& text, juce::Rectangle<int> area)
{
    juce::Image image (juce::Image::RGB, panelWidth, panelHeight, true);
    juce::Graphics g (image);
    g.setGradientFill (juce::ColourGradient (juce::Colours::white, 0.0f, 0.0f,
                                             juce::Colour (0xffd0d0d0), (float) panelWidth, (float) panelHeight,
                                             false));
    g.fillAll();
    g.setFont (juce::Font (14.0f, juce::Font::bold));
    g.setColour (juce::Colours::black);
    g.drawText (text, area, juce::Justification::centred, false);
    return image;
}

MainWindowContent::Layout windowLayout()
{
    return MainWindowContent::computeLayout (panelWidth, panelHeight, LogoData::logoWidth, LogoData::logoHeight);
}

/** The left half of the panel below the logo, where only the two lines may be dark. */
juce::Rectangle<int> belowTheLogo (const MainWindowContent::Layout& layout)
{
    return { 0, layout.logo.getBottom(), panelWidth / 2, panelHeight - layout.logo.getBottom() };
}
} // namespace

TEST (MainWindowContentPaint, BothLinesSitInTheirRowsBelowTheLogo)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    panel.setSize (panelWidth, panelHeight);
    const auto image = paintedPanel (panel);
    const auto layout = windowLayout();

    const auto driverRows = darkRows (image, layout.driverLine);
    const auto firmwareRows = darkRows (image, layout.firmwareLine);
    ASSERT_FALSE (driverRows.isEmpty());
    ASSERT_FALSE (firmwareRows.isEmpty());

    // Nothing else is dark in the left half under the logo: the text lies inside the lines' rows.
    const auto allRows = darkRows (image, belowTheLogo (layout));
    EXPECT_EQ (allRows.getStart(), driverRows.getStart());
    EXPECT_EQ (allRows.getEnd(), firmwareRows.getEnd());
    EXPECT_EQ (darkRows (image, { 0, driverRows.getEnd(), panelWidth / 2, firmwareRows.getStart() - driverRows.getEnd() }),
               juce::Range<int>());

    EXPECT_TRUE (sameRegion (image, expectedLine ("Driver version 5.12", layout.driverLine), layout.driverLine));
    EXPECT_TRUE (sameRegion (image, expectedLine ("Firmware version 1a2", layout.firmwareLine), layout.firmwareLine));
}

TEST (MainWindowContentPaint, WithoutDriverInformationOnlyTheSecondLineIsPaintedAndItStaysPut)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetDriverInfo 7\n");

    MainWindowContent panel;
    panel.setSize (panelWidth, panelHeight);
    const auto image = paintedPanel (panel);
    const auto layout = windowLayout();

    EXPECT_EQ (layout.firmwareLine.getY(), layout.logo.getY() + layout.logo.getHeight() + 50);
    EXPECT_EQ (darkRows (image, layout.driverLine), juce::Range<int>());
    EXPECT_EQ (darkRows (image, belowTheLogo (layout)), darkRows (image, layout.firmwareLine));
    EXPECT_TRUE (sameRegion (image, expectedLine ("Firmware version 1a2", layout.firmwareLine), layout.firmwareLine));
}

TEST (MainWindowContentPaint, FirmwareWordIsShownInLowerCaseHexadecimalWithoutLeadingZeros)
{
    const std::pair<const char*, const char*> cases[] = {
        { "0", "Firmware version 0" },
        { "1a2", "Firmware version 1a2" },
        { "ffffffff", "Firmware version ffffffff" },
        { "80000000", "Firmware version 80000000" },
    };

    for (const auto& [word, text] : cases)
    {
        SCOPED_TRACE (word);
        const SimulatedDriver driver;
        driver.setState (SimulatedDriver::interfaceLine (1, word));

        MainWindowContent panel;
        panel.setSize (panelWidth, panelHeight);
        ASSERT_NE (panel.getCurrentDevice(), nullptr);
        EXPECT_EQ (MainWindowContent::deviceText (panel.getCurrentDevice()), text);

        const auto layout = windowLayout();
        EXPECT_TRUE (sameRegion (paintedPanel (panel), expectedLine (text, layout.firmwareLine), layout.firmwareLine));
    }
}

TEST (MainWindowContentPaint, WithoutAnInterfaceTheSecondLineSaysNotConnected)
{
    const SimulatedDriver driver;
    driver.setState ({});

    MainWindowContent panel;
    panel.setSize (panelWidth, panelHeight);
    const auto layout = windowLayout();

    EXPECT_EQ (MainWindowContent::deviceText (nullptr), "Vesk 2 not connected");
    EXPECT_TRUE (sameRegion (paintedPanel (panel), expectedLine ("Vesk 2 not connected", layout.firmwareLine), layout.firmwareLine));
}

TEST (MainWindowContentPaint, DriverVersionWordsAreSignedDecimals)
{
    TUsbAudioDriverInfo info {};
    info.versionMajor = 5;
    info.versionMinor = 12;
    EXPECT_EQ (MainWindowContent::driverVersionText (info), "Driver version 5.12");

    info.versionMajor = 0xffffffffu;
    info.versionMinor = 0;
    EXPECT_EQ (MainWindowContent::driverVersionText (info), "Driver version -1.0");
}

TEST (MainWindowContentPaint, TheLogoIsDecodedOnceAndDrawnInItsRectangle)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;
    panel.setSize (panelWidth, panelHeight);

    // The cache keys the picture by the array's address; empty it so the first paint must decode.
    const auto key = (juce::int64) (juce::pointer_sized_int) LogoData::logoJpeg;
    juce::ImageCache::releaseUnusedImages();
    ASSERT_FALSE (juce::ImageCache::getFromHashCode (key).isValid());

    const auto first = paintedPanel (panel);
    const auto decoded = juce::ImageCache::getFromHashCode (key);
    ASSERT_TRUE (decoded.isValid());
    EXPECT_EQ (decoded.getWidth(), 318);
    EXPECT_EQ (decoded.getHeight(), 207);

    for (int i = 0; i < 50; ++i)
        paintedPanel (panel);

    // Still the very pixels decoded by the first paint: none of the later paints decoded again.
    EXPECT_EQ (juce::ImageCache::getFromHashCode (key).getPixelData(), decoded.getPixelData());

    // The logo's red model number and slate wordmark land inside its rectangle, nowhere above it.
    const auto logoArea = windowLayout().logo;
    const auto isLogoRed = [] (juce::Colour c) { return c.getRed() > 180 && c.getGreen() < 90 && c.getBlue() < 90; };
    int redInside = 0, redAbove = 0;

    for (int y = 0; y < logoArea.getBottom(); ++y)
        for (int x = 0; x < panelWidth / 2; ++x)
            if (isLogoRed (first.getPixelAt (x, y)))
                ++(logoArea.contains (x, y) ? redInside : redAbove);

    EXPECT_GT (redInside, 20);
    EXPECT_EQ (redAbove, 0);
    EXPECT_FALSE (darkRows (first, logoArea).isEmpty());
}
