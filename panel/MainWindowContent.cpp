#include "panel/MainWindowContent.h"

#include "device/DeviceChangeMessage.h"
#include "device/OpenedDevice.h"
#include "resources/LogoData.h"

namespace
{
// The driver calls this panel makes, one function each. Status 0 is the only
// success; no caller tells failure codes apart.

bool succeeded (TUsbAudioStatus status)
{
    return status == TUSBAUDIO_STATUS_SUCCESS;
}

/** On success words 2 and 3 of the record hold the driver's version. */
bool readDriverInfo (TUsbAudioDriverInfo& info)
{
    return succeeded (TUSBAUDIO_GetDriverInfo (&info));
}

/** On success the mode is one of the combo box's item ids, or matches none. */
bool readUsbStreamingMode (uint32_t& mode)
{
    return succeeded (TUSBAUDIO_GetUsbStreamingMode (&mode));
}

/** The status is not read: the read-back that follows shows what the driver kept. */
void writeUsbStreamingMode (uint32_t mode)
{
    TUSBAUDIO_SetUsbStreamingMode (mode);
}

bool readASIOBufferSize (uint32_t& size)
{
    return succeeded (TUSBAUDIO_GetASIOBufferSize (&size));
}

/** The status is not read: the read-back that follows shows what the driver kept. */
void writeASIOBufferSize (uint32_t size)
{
    TUSBAUDIO_SetASIOBufferSize (size);
}

/** Takes the rate as a value, not a device handle. */
bool readMinimumASIOBufferSize (uint32_t sampleRate, uint32_t& minimumSize)
{
    return succeeded (TUSBAUDIO_GetMinimumASIOBufferSize (sampleRate, &minimumSize));
}

// The USB streaming modes on offer: the id is the value the driver takes; the
// text is only shown. Id 32 is labelled 23 milliseconds, which is what it gives.
struct StreamingModeItem
{
    const char* text;
    int id;
};

constexpr StreamingModeItem streamingModeItems[] = {
    { "1 millisecond", 1 },
    { "2 milliseconds", 2 },
    { "4 milliseconds", 4 },
    { "8 milliseconds", 8 },
    { "16 milliseconds", 16 },
    { "23 milliseconds", 32 },
};

constexpr double minimumASIOBufferSize = 64.0;
constexpr double maximumASIOBufferSize = 2048.0;
constexpr double asioBufferSizeAtMidPoint = 512.0;

const juce::Colour gradientEndColour { 0xffd0d0d0 };
constexpr float versionLinesFontHeight = 14.0f;
constexpr int textLineHeight = 16;

/** A product of a size and a proportion, rounded as Component::proportionOfWidth
    does: formed in single precision, then rounded with halves going to even. */
int proportionOf (int length, float proportion)
{
    return juce::roundToInt (proportion * (float) length);
}

/** The bounds Component::setSize then setCentreRelative give a child. */
juce::Rectangle<int> sizedAndCentred (int parentWidth, int parentHeight,
                                      float widthProportion, float heightProportion,
                                      float centreX, float centreY)
{
    const auto width = proportionOf (parentWidth, widthProportion);
    const auto height = proportionOf (parentHeight, heightProportion);

    return { juce::roundToInt ((float) parentWidth * centreX) - width / 2,
             juce::roundToInt ((float) parentHeight * centreY) - height / 2,
             width, height };
}
} // namespace

//==============================================================================
MainWindowContent::MainWindowContent()
{
    createUsbLatencyCombo();
    createAsioBufferSizeSlider();

    screenReaderLines = std::make_unique<ScreenReaderLines> (*this);
    report = std::make_unique<SupportReport> (*screenReaderLines, *usbLatencyCombo, *asioBufferSizeSlider);
    keys = std::make_unique<TabAndCopyKeys> (*this, *usbLatencyCombo, *asioBufferSizeSlider, *report);
    tooltips = std::make_unique<LatencyTooltips> (*this, *usbLatencyCombo, *asioBufferSizeSlider);
    arrivalPacer = std::make_unique<ArrivalPacer> ([this] { rescanDevices(); });

    connectToDevices();
}

MainWindowContent::~MainWindowContent()
{
    // The additions reach the controls; they go before them.
    arrivalPacer.reset();
    tooltips.reset();
    keys.reset();
    report.reset();
    screenReaderLines.reset();
    currentDevice = nullptr;

    // The list goes first: its notifier leaves the driver and the notification
    // window before the controls it could otherwise still reach are gone.
    deviceList.reset();
    asioBufferSizeSlider.reset();
    usbLatencyCombo.reset();
}

std::unique_ptr<juce::AccessibilityHandler> MainWindowContent::createAccessibilityHandler()
{
    return createIgnoredAccessibilityHandler (*this);
}

void MainWindowContent::createUsbLatencyCombo()
{
    usbLatencyCombo = std::make_unique<TitledComboBox> ("USBLatencyCombo");
    usbLatencyCombo->addListener (this);
    usbLatencyCombo->setTitle ("USB Buffer Size");
    usbLatencyCombo->setExplicitFocusOrder (1);

    for (const auto& item : streamingModeItems)
        usbLatencyCombo->addItem (item.text, item.id);

    addAndMakeVisible (*usbLatencyCombo);
    usbLatencyCombo->setEnabled (false);
}

void MainWindowContent::createAsioBufferSizeSlider()
{
    asioBufferSizeSlider = std::make_unique<BufferSizeSlider> ("ASIOBufferSize");
    asioBufferSizeSlider->addListener (this);
    asioBufferSizeSlider->setTitle ("ASIO Buffer Size");
    asioBufferSizeSlider->setExplicitFocusOrder (2);
    asioBufferSizeSlider->setSliderStyle (juce::Slider::LinearHorizontal);

    // The value box shows this once the slider has a value worth showing (see BufferSizeSlider).
    asioBufferSizeSlider->setTextValueSuffix (" samples");
    asioBufferSizeSlider->setRange (minimumASIOBufferSize, maximumASIOBufferSize, 1.0);
    asioBufferSizeSlider->setSkewFactorFromMidPoint (asioBufferSizeAtMidPoint);

    // A drag writes the driver once, when the mouse is released, not on every step.
    asioBufferSizeSlider->setChangeNotificationOnlyOnRelease (true);

    addAndMakeVisible (*asioBufferSizeSlider);
    asioBufferSizeSlider->setEnabled (false);
}

void MainWindowContent::connectToDevices()
{
    deviceList = std::make_unique<DeviceList>();

    // Creates the notifier, which registers the notification window with the
    // driver. Only a message posted after this line reaches the panel, so the
    // rescan below comes after it and misses no change.
    deviceList->addListener (this);

    rescanDevices();
}

//==============================================================================
MainWindowContent::Captions MainWindowContent::captionsFor (juce::Rectangle<int> comboBounds, int sliderTop)
{
    const auto height = comboBounds.getHeight();

    return { comboBounds.withY (comboBounds.getY() - height),
             comboBounds.withY (sliderTop - height),
             0.8f * (float) height };
}

MainWindowContent::Layout MainWindowContent::computeLayout (int width, int height, int logoWidth, int logoHeight)
{
    Layout layout;

    layout.combo = sizedAndCentred (width, height, 0.5f, 0.06f, 0.7f, 0.3f);
    layout.slider = sizedAndCentred (width, height, 0.5f, 0.2f, 0.7f, 0.7f);
    layout.sliderTextBoxWidth = proportionOf (layout.slider.getWidth(), 0.6f);
    layout.sliderTextBoxHeight = proportionOf (layout.slider.getHeight(), 0.33f);

    // The logo is centred in the left half; its drawn height follows the panel.
    const auto drawnHeight = proportionOf (height, 0.2f);
    const auto drawnWidth = logoHeight > 0 ? logoWidth * drawnHeight / logoHeight : 0;
    const auto logoY = proportionOf (height, 0.25f);

    if (logoHeight > 0)
        layout.logo = { (width / 2 - drawnWidth) / 2, logoY, drawnWidth, drawnHeight };

    const auto driverLineY = logoY + drawnHeight + 25;
    layout.driverLine = { 0, driverLineY, width / 2, textLineHeight };
    layout.firmwareLine = { 0, driverLineY + 25, width / 2, textLineHeight };

    layout.captions = captionsFor (layout.combo, layout.slider.getY());
    return layout;
}

juce::String MainWindowContent::driverVersionText (const TUsbAudioDriverInfo& info)
{
    return juce::String::formatted ("Driver version %d.%d",
                                    static_cast<int> (info.versionMajor),
                                    static_cast<int> (info.versionMinor));
}

juce::String MainWindowContent::deviceText (const vhw* device)
{
    if (device == nullptr)
        return "Vesk 2 not connected";

    // Connected, but the driver did not give its properties: there is no firmware
    // version to show, and the zero the record holds is not one.
    if (! device->hasProperties)
        return {};

    return "Firmware version " + juce::String::toHexString (static_cast<uint32_t> (device->properties.firmwareVersion));
}

//==============================================================================
void MainWindowContent::resized()
{
    const auto layout = computeLayout (getWidth(), getHeight(), LogoData::logoWidth, LogoData::logoHeight);

    usbLatencyCombo->setBounds (layout.combo);
    asioBufferSizeSlider->setBounds (layout.slider);

    // The slider rebuilds its text box only when one of these changes.
    asioBufferSizeSlider->setTextBoxStyle (juce::Slider::TextBoxBelow, false,
                                           layout.sliderTextBoxWidth, layout.sliderTextBoxHeight);

    screenReaderLines->setBounds (layout.driverLine, layout.firmwareLine);
}

void MainWindowContent::paint (juce::Graphics& g)
{
    const auto width = getWidth();
    const auto height = getHeight();

    g.setGradientFill (juce::ColourGradient (juce::Colours::white, 0.0f, 0.0f,
                                             gradientEndColour, (float) width, (float) height,
                                             false));
    g.fillAll();

    // The cache is keyed by the array's address, so the JPEG is decoded once and
    // handed back from then on while the cache holds it. A picture that fails to
    // decode is null, with a size of 0 x 0: it is left out and nothing else moves.
    const auto logo = juce::ImageCache::getFromMemory (LogoData::logoJpeg, LogoData::logoJpegSize);
    const auto layout = computeLayout (width, height, logo.getWidth(), logo.getHeight());

    if (logo.isValid())
        g.drawImage (logo,
                     layout.logo.getX(), layout.logo.getY(), layout.logo.getWidth(), layout.logo.getHeight(),
                     0, 0, logo.getWidth(), logo.getHeight(),
                     false);

    g.setFont (juce::Font (versionLinesFontHeight, juce::Font::bold));
    g.setColour (juce::Colours::black);

    // Asked on every paint, so the line follows the driver.
    TUsbAudioDriverInfo info {};
    const auto driverLineText = readDriverInfo (info) ? driverVersionText (info) : juce::String();

    if (driverLineText.isNotEmpty())
        g.drawText (driverLineText, layout.driverLine, juce::Justification::centred, false);

    const auto deviceLineText = deviceText (currentDevice.get());
    g.drawText (deviceLineText, layout.firmwareLine, juce::Justification::centred, false);

    screenReaderLines->painted (g, layout.driverLine, driverLineText, layout.firmwareLine, deviceLineText);

    // From the controls as they are, not as the layout would place them.
    const auto captions = captionsFor (usbLatencyCombo->getBounds(), asioBufferSizeSlider->getY());
    g.setFont (juce::Font (captions.fontHeight, juce::Font::bold));
    g.drawText ("USB Buffer Size", captions.usb, juce::Justification::centred, false);
    g.drawText ("ASIO Buffer Size", captions.asio, juce::Justification::centred, false);
}

//==============================================================================
void MainWindowContent::handleMessage (const juce::Message& message)
{
    const auto* change = dynamic_cast<const DeviceChangeMessage*> (&message);

    if (change == nullptr)
        return;

    if (change->intParameter1 == DeviceArrivedCode)
    {
        arrivalPacer->arrivalNoticed();
    }
    else if (change->intParameter1 == DeviceRemovedCode)
    {
        // No driver call, so no pacing: a click from now on finds the controls disabled.
        arrivalPacer->dropPendingArrival();
        deviceRemoved();
    }
}

void MainWindowContent::comboBoxChanged (juce::ComboBox* box)
{
    writeUsbStreamingMode (static_cast<uint32_t> (box->getSelectedId()));
    shownModeId = box->getSelectedId();
    refreshControls();
}

void MainWindowContent::sliderValueChanged (juce::Slider* slider)
{
    // The range and the interval of 1 keep the value whole and positive.
    writeASIOBufferSize (static_cast<uint32_t> (slider->getValue()));
    sliderReleasePending = false;
    refreshControls();

    // A screen reader's change and a wheel step are reported inside JUCE's drag
    // notifications, before sliderDragEnded: from here the value counts as reported,
    // so that end leaves nothing waiting for a release that will not come.
    valueAtSliderPress = slider->getValue();
}

void MainWindowContent::sliderDragStarted (juce::Slider* slider)
{
    valueAtSliderPress = slider->getValue();
}

void MainWindowContent::sliderDragEnded (juce::Slider* slider)
{
    // The slider reports a release, later, exactly when it is enabled and its value
    // moved since the press (JUCE's own test, made just before this call).
    sliderReleasePending = slider->isEnabled() && slider->getValue() != valueAtSliderPress;
}

void MainWindowContent::rescanDevices()
{
    deviceList->clear();
    deviceList->scan();

    // The list puts each interface it accepts in front, so position 0 is the one
    // with the highest driver index. When the scan finds none, the controls keep
    // their state and currentDevice keeps the record it holds a reference to.
    if (deviceList->getNumDevices() != 0)
    {
        currentDevice = deviceList->getDevice (0);
        setControlsEnabled (true);
        refreshControls();
    }

    repaintTextLines();
}

void MainWindowContent::deviceRemoved()
{
    // Any removal counts, even with another interface left: the next arrival
    // rescans. The list keeps its records until then.
    currentDevice = nullptr;
    setControlsEnabled (false);
    repaintTextLines();
}

void MainWindowContent::setControlsEnabled (bool shouldBeEnabled)
{
    usbLatencyCombo->setEnabled (shouldBeEnabled);
    asioBufferSizeSlider->setEnabled (shouldBeEnabled);
}

void MainWindowContent::repaintTextLines()
{
    // Only the two lines can differ after a device change (the controls repaint
    // themselves), and the paint asks the driver for its line anew. Leaving the
    // gradient and the logo alone matters when a hub flaps: a whole-panel paint
    // on every change would keep the message thread from the user's clicks.
    const auto layout = computeLayout (getWidth(), getHeight(), LogoData::logoWidth, LogoData::logoHeight);
    repaint (layout.driverLine.getUnion (layout.firmwareLine));
}

void MainWindowContent::refreshControls()
{
    // Neither control notifies the panel here, so nothing is written back. A choice
    // the user has made but JUCE has not reported yet stays on its control: its
    // report writes it and reads both settings back then.
    const auto userPickPending = usbLatencyCombo->getSelectedId() != shownModeId;

    if (uint32_t mode = 0; readUsbStreamingMode (mode) && ! userPickPending)
    {
        usbLatencyCombo->setSelectedId (static_cast<int> (mode), juce::dontSendNotification);
        shownModeId = usbLatencyCombo->getSelectedId();     // 0 for a mode that matches no item
    }

    const auto userHoldsSlider = asioBufferSizeSlider->isMouseButtonDown (true) || sliderReleasePending;

    if (uint32_t size = 0; readASIOBufferSize (size) && clampToMinimumASIOBufferSize (size) && ! userHoldsSlider)
        asioBufferSizeSlider->showValue (static_cast<double> (size));

    tooltips->settingsChanged();
}

bool MainWindowContent::clampToMinimumASIOBufferSize (uint32_t& size)
{
    // The minimum always comes from driver index 0, whichever interface is current.
    const OpenedDevice device (0);
    uint32_t sampleRate = 0;

    if (! device.readCurrentSampleRate (sampleRate))
        return false;

    uint32_t minimumSize = 0;

    if (! readMinimumASIOBufferSize (sampleRate, minimumSize))
        return false;

    // Raises only what the slider shows; the driver keeps its value until the user moves the slider.
    size = std::max (size, minimumSize);
    return true;
}
