// Where the settings panel puts its controls, its logo, its text lines and its
// captions, for the window's own size and for sizes where rounding and halving
// decide the outcome.

#include "MainWindowContentTestSupport.h"

#include "resources/LogoData.h"

using namespace panel_test;
using juce::Rectangle;

namespace
{
struct ExpectedLayout
{
    int width, height;
    Rectangle<int> combo, slider;
    int textBoxWidth, textBoxHeight;
    Rectangle<int> logo, driverLine, firmwareLine, usbCaption, asioCaption;
    float captionFontHeight;
};

// 500 x 350 is the window's size. 400 x 300 scales everything down. At 401 wide
// 0.5 x 401 = 200.5 rounds to the even 200 and the centre 280.7 to 281. At
// 100 x 1000 the logo is wider than the left half and its x, (50 - 307) / 2,
// truncates toward zero to -128. At 500 x 350 the logo's y is 87.5, which rounds
// to the even 88.
const ExpectedLayout expectedLayouts[] = {
    { 500, 350,
      { 225, 95, 250, 21 }, { 225, 210, 250, 70 }, 150, 23,
      { 71, 88, 107, 70 }, { 0, 183, 250, 16 }, { 0, 208, 250, 16 },
      { 225, 74, 250, 21 }, { 225, 189, 250, 21 }, 16.8f },
    { 400, 300,
      { 180, 81, 200, 18 }, { 180, 180, 200, 60 }, 120, 20,
      { 54, 75, 92, 60 }, { 0, 160, 200, 16 }, { 0, 185, 200, 16 },
      { 180, 63, 200, 18 }, { 180, 162, 200, 18 }, 14.4f },
    { 401, 350,
      { 181, 95, 200, 21 }, { 181, 210, 200, 70 }, 120, 23,
      { 46, 88, 107, 70 }, { 0, 183, 200, 16 }, { 0, 208, 200, 16 },
      { 181, 74, 200, 21 }, { 181, 189, 200, 21 }, 16.8f },
    { 100, 1000,
      { 45, 270, 50, 60 }, { 45, 600, 50, 200 }, 30, 66,
      { -128, 250, 307, 200 }, { 0, 475, 50, 16 }, { 0, 500, 50, 16 },
      { 45, 210, 50, 60 }, { 45, 540, 50, 60 }, 48.0f },
};

std::string describe (Rectangle<int> r)
{
    return r.toString().toStdString();
}
} // namespace

TEST (MainWindowContentLayout, EveryRectangleFollowsThePanelSizeWithHalvesRoundedToEven)
{
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));

    MainWindowContent panel;

    for (const auto& expected : expectedLayouts)
    {
        SCOPED_TRACE (std::to_string (expected.width) + " x " + std::to_string (expected.height));

        const auto layout = MainWindowContent::computeLayout (expected.width, expected.height,
                                                              LogoData::logoWidth, LogoData::logoHeight);
        EXPECT_EQ (describe (layout.combo), describe (expected.combo));
        EXPECT_EQ (describe (layout.slider), describe (expected.slider));
        EXPECT_EQ (layout.sliderTextBoxWidth, expected.textBoxWidth);
        EXPECT_EQ (layout.sliderTextBoxHeight, expected.textBoxHeight);
        EXPECT_EQ (describe (layout.logo), describe (expected.logo));
        EXPECT_EQ (describe (layout.driverLine), describe (expected.driverLine));
        EXPECT_EQ (describe (layout.firmwareLine), describe (expected.firmwareLine));
        EXPECT_EQ (describe (layout.captions.usb), describe (expected.usbCaption));
        EXPECT_EQ (describe (layout.captions.asio), describe (expected.asioCaption));
        EXPECT_FLOAT_EQ (layout.captions.fontHeight, expected.captionFontHeight);

        // The real controls, laid out by resized, and the captions painted from them.
        panel.setSize (expected.width, expected.height);
        auto& combo = comboOf (panel);
        auto& slider = sliderOf (panel);
        EXPECT_EQ (describe (combo.getBounds()), describe (expected.combo));
        EXPECT_EQ (describe (slider.getBounds()), describe (expected.slider));
        EXPECT_EQ (slider.getTextBoxWidth(), expected.textBoxWidth);
        EXPECT_EQ (slider.getTextBoxHeight(), expected.textBoxHeight);
        EXPECT_EQ (slider.getTextBoxPosition(), juce::Slider::TextBoxBelow);
        EXPECT_TRUE (slider.isTextBoxEditable());

        const auto painted = MainWindowContent::captionsFor (combo.getBounds(), slider.getY());
        EXPECT_EQ (describe (painted.usb), describe (expected.usbCaption));
        EXPECT_EQ (describe (painted.asio), describe (expected.asioCaption));
    }
}

TEST (MainWindowContentLayout, ALogoThatFailedToDecodeIsLeftOutWithoutMovingTheTextLines)
{
    for (const auto& expected : expectedLayouts)
    {
        SCOPED_TRACE (std::to_string (expected.width) + " x " + std::to_string (expected.height));

        const auto layout = MainWindowContent::computeLayout (expected.width, expected.height, 0, 0);
        EXPECT_TRUE (layout.logo.isEmpty());
        EXPECT_EQ (describe (layout.driverLine), describe (expected.driverLine));
        EXPECT_EQ (describe (layout.firmwareLine), describe (expected.firmwareLine));
    }
}

TEST (MainWindowContentLayout, ControlsStartVisibleDisabledAndConfiguredBeforeAnyInterfaceIsFound)
{
    const SimulatedDriver driver;
    driver.setState ({});

    MainWindowContent panel;
    auto& combo = comboOf (panel);
    auto& slider = sliderOf (panel);

    EXPECT_TRUE (combo.isVisible());
    EXPECT_TRUE (slider.isVisible());
    EXPECT_FALSE (combo.isEnabled());
    EXPECT_FALSE (slider.isEnabled());

    const std::pair<int, const char*> items[] = {
        { 1, "1 millisecond" }, { 2, "2 milliseconds" }, { 4, "4 milliseconds" },
        { 8, "8 milliseconds" }, { 16, "16 milliseconds" }, { 32, "23 milliseconds" },
    };
    ASSERT_EQ (combo.getNumItems(), 6);

    for (int i = 0; i < 6; ++i)
    {
        EXPECT_EQ (combo.getItemId (i), items[i].first);
        EXPECT_EQ (combo.getItemText (i), items[i].second);
    }

    EXPECT_EQ (combo.getSelectedId(), 0);
    EXPECT_EQ (combo.getText(), "");

    EXPECT_EQ (slider.getSliderStyle(), juce::Slider::LinearHorizontal);
    EXPECT_EQ (slider.getMinimum(), 64.0);
    EXPECT_EQ (slider.getMaximum(), 2048.0);
    EXPECT_EQ (slider.getInterval(), 1.0);
    EXPECT_EQ (slider.getValue(), 64.0);
    EXPECT_NEAR (slider.getSkewFactor(), 0.4658006, 1.0e-7);
    EXPECT_NEAR (slider.proportionOfLengthToValue (0.5), 512.0, 1.0e-9);
    EXPECT_EQ (slider.getTextFromValue (512.0), "");   // no size read yet: no number, no unit
}
