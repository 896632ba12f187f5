#include "panel/MainWindowContent.h"

#include "device/DeviceChangeMessage.h"
#include "panel/LatencyText.h"
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

/** On success the handle stays open until closeDevice. */
bool openDevice (uint32_t deviceIndex, TUsbAudioHandle& handle)
{
    return succeeded (TUSBAUDIO_OpenDeviceByIndex (deviceIndex, &handle));
}

/** The status is not read: there is nothing left to do with the handle either way. */
void closeDevice (TUsbAudioHandle handle)
{
    TUSBAUDIO_CloseDevice (handle);
}

bool readCurrentSampleRate (TUsbAudioHandle handle, uint32_t& sampleRate)
{
    return succeeded (TUSBAUDIO_GetCurrentSampleRate (handle, &sampleRate));
}

/** Takes the rate as a value, not a device handle. */
bool readMinimumASIOBufferSize (uint32_t sampleRate, uint32_t& minimumSize)
{
    return succeeded (TUSBAUDIO_GetMinimumASIOBufferSize (sampleRate, &minimumSize));
}

/** Closes a successfully opened device exactly once, on every way out of a scope. */
struct ScopedDeviceClose
{
    ~ScopedDeviceClose()        { closeDevice (handle); }
    const TUsbAudioHandle handle;
};

/** The current sample rate of the device at a driver index, which is opened for
    it and closed again: open, rate, close, as the clamp does its first steps. */
bool readCurrentSampleRateOfDevice (uint32_t deviceIndex, uint32_t& sampleRate)
{
    TUsbAudioHandle handle = 0;

    if (! openDevice (deviceIndex, handle))
        return false;

    const ScopedDeviceClose closeOnReturn { handle };
    return readCurrentSampleRate (handle, sampleRate);
}

// The USB streaming modes on offer: the id is the value the driver takes; the
// text is only shown. Id 32 is labelled 23 milliseconds, which is what it gives.
struct StreamingModeItem
{
    const char* text;
    int id;
    uint32_t milliseconds;
};

constexpr StreamingModeItem streamingModeItems[] = {
    { "1 millisecond", 1, 1 },
    { "2 milliseconds", 2, 2 },
    { "4 milliseconds", 4, 4 },
    { "8 milliseconds", 8, 8 },
    { "16 milliseconds", 16, 16 },
    { "23 milliseconds", 32, 23 },
};

const StreamingModeItem* streamingModeItemWithId (int id)
{
    for (const auto& item : streamingModeItems)
        if (item.id == id)
            return &item;

    return nullptr;
}

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
    createShownTextLines();
    connectToDevices();
}

MainWindowContent::~MainWindowContent()
{
    if (keyListenerHolder != nullptr)
        keyListenerHolder->removeKeyListener (this);

    tooltipWindow.reset();
    currentDevice = nullptr;

    // The list goes first: its notifier leaves the driver and the notification
    // window before the controls it could otherwise still reach are gone.
    deviceList.reset();
    asioBufferSizeSlider.reset();
    usbLatencyCombo.reset();
}

void MainWindowContent::createUsbLatencyCombo()
{
    usbLatencyCombo = std::make_unique<TitledComboBox> ("USBLatencyCombo");
    usbLatencyCombo->addListener (this);
    usbLatencyCombo->setTitle ("USB Buffer Size");
    usbLatencyCombo->setExplicitFocusOrder (1);
    usbLatencyCombo->addMouseListener (this, true);

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
    asioBufferSizeSlider->addMouseListener (this, true);
    asioBufferSizeSlider->setSliderStyle (juce::Slider::LinearHorizontal);

    // The value box stays empty until the driver reports a size (showAsioBufferSize
    // gives it its number and " samples"): the 64 the slider starts at is not the driver's.
    asioBufferSizeSlider->textFromValueFunction = [] (double) { return juce::String(); };
    asioBufferSizeSlider->setRange (minimumASIOBufferSize, maximumASIOBufferSize, 1.0);
    asioBufferSizeSlider->setSkewFactorFromMidPoint (asioBufferSizeAtMidPoint);

    // A drag writes the driver once, when the mouse is released, not on every step.
    asioBufferSizeSlider->setChangeNotificationOnlyOnRelease (true);

    addAndMakeVisible (*asioBufferSizeSlider);
    asioBufferSizeSlider->setEnabled (false);
}

void MainWindowContent::createShownTextLines()
{
    // Read after the controls; they paint nothing and take no clicks.
    driverLine = std::make_unique<ShownTextLine> ("DriverLine");
    driverLine->setExplicitFocusOrder (3);
    addAndMakeVisible (*driverLine);

    deviceLine = std::make_unique<ShownTextLine> ("DeviceLine");
    deviceLine->setExplicitFocusOrder (4);
    addAndMakeVisible (*deviceLine);
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

    driverLine->setBounds (layout.driverLine);
    deviceLine->setBounds (layout.firmwareLine);
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

    // What screen readers and the report take as shown: a paint clipped away from
    // a line leaves the line on the screen, and so in the record, as it was.
    if (g.clipRegionIntersects (layout.driverLine))
        driverLine->setShownText (driverLineText);

    if (g.clipRegionIntersects (layout.firmwareLine))
        deviceLine->setShownText (deviceLineText);

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
        arrivalPending = true;
    }
    else if (change->intParameter1 == DeviceRemovedCode)
    {
        arrivalPending = false;
        removalPending = true;
    }
    else
    {
        return;
    }

    // A paced update is on its way and will act on this notice too.
    if (isTimerRunning())
        return;

    const auto sinceLastUpdate = juce::Time::getMillisecondCounter() - lastUpdateEndedMs;

    // The update is queued behind every notice already waiting, so a burst
    // ends in one rescan.
    if (sinceLastUpdate >= static_cast<juce::uint32> (minimumUpdateSpacingMs))
        triggerAsyncUpdate();
    else
        startTimer (minimumUpdateSpacingMs - static_cast<int> (sinceLastUpdate));
}

void MainWindowContent::timerCallback()
{
    stopTimer();
    triggerAsyncUpdate();
}

void MainWindowContent::handleAsyncUpdate()
{
    // An update made at once (handleUpdateNowIfNeeded) takes over a paced one.
    stopTimer();

    const auto arrival = std::exchange (arrivalPending, false);
    const auto removal = std::exchange (removalPending, false);

    // A removal followed by an arrival whose rescan finds an interface leaves the
    // controls enabled either way; not disabling them in between keeps an open
    // pop-up or a held slider in the user's hands.
    const auto interfaceFound = arrival && rescanDevices();

    if (removal && ! interfaceFound)
        deviceRemoved();

    // Counted from the end: a slow rescan must not eat the break that follows it.
    lastUpdateEndedMs = juce::Time::getMillisecondCounter();
}

bool MainWindowContent::rescanDevices()
{
    deviceList->clear();
    deviceList->scan();

    // The list puts each interface it accepts in front, so position 0 is the one
    // with the highest driver index. When the scan finds none, the controls keep
    // their state and currentDevice keeps the record it holds a reference to.
    const auto found = deviceList->getNumDevices() != 0;

    if (found)
    {
        currentDevice = deviceList->getDevice (0);
        setControlsEnabled (true);
        refreshControls();
    }

    repaintTextLines();
    return found;
}

void MainWindowContent::deviceRemoved()
{
    // Any removal counts, even with another interface left: the next arrival
    // rescans. The list keeps its records until then.
    currentDevice = nullptr;
    setControlsEnabled (false);
    repaintTextLines();
}

void MainWindowContent::repaintTextLines()
{
    // Only the two lines can differ after a device change (the controls repaint
    // themselves), and the paint asks the driver for its line anew. Leaving the
    // gradient and the logo alone matters when a hub flaps: a whole-panel paint
    // on every change would keep the message thread from the user's clicks.
    repaint (driverLine->getBounds().getUnion (deviceLine->getBounds()));
}

void MainWindowContent::setControlsEnabled (bool shouldBeEnabled)
{
    usbLatencyCombo->setEnabled (shouldBeEnabled);
    asioBufferSizeSlider->setEnabled (shouldBeEnabled);
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
        showAsioBufferSize (size);

    // A tip on show describes the settings as they were; the next is worked out anew.
    if (tooltipWindow != nullptr)
        tooltipWindow->forgetTip();
}

juce::String MainWindowContent::shownAsioBufferSize() const
{
    // Empty until the driver has reported a size: the slider then shows none.
    return asioBufferSizeSlider->getTextFromValue (asioBufferSizeSlider->getValue());
}

void MainWindowContent::showAsioBufferSize (uint32_t size)
{
    if (asioBufferSizeSlider->textFromValueFunction != nullptr)
    {
        asioBufferSizeSlider->textFromValueFunction = nullptr;
        asioBufferSizeSlider->setTextValueSuffix (" samples");   // shows the number too
    }

    asioBufferSizeSlider->setValue (static_cast<double> (size), juce::dontSendNotification);
}

bool MainWindowContent::clampToMinimumASIOBufferSize (uint32_t& size)
{
    // The minimum always comes from driver index 0, whichever interface is current.
    TUsbAudioHandle handle = 0;

    if (! openDevice (0, handle))
        return false;

    const ScopedDeviceClose closeOnReturn { handle };

    uint32_t sampleRate = 0;

    if (! readCurrentSampleRate (handle, sampleRate))
        return false;

    uint32_t minimumSize = 0;

    if (! readMinimumASIOBufferSize (sampleRate, minimumSize))
        return false;

    // Raises only what the slider shows; the driver keeps its value until the user moves the slider.
    size = std::max (size, minimumSize);
    return true;
}

//==============================================================================
void MainWindowContent::parentHierarchyChanged()
{
    listenForKeysOnTopLevel();
}

void MainWindowContent::listenForKeysOnTopLevel()
{
    // Keys go to the focused component and up through its parents. With no
    // control focused the window itself has the focus, and the panel is not
    // on that way up: so the panel listens on the window.
    auto* topLevel = getTopLevelComponent();

    if (topLevel == keyListenerHolder.getComponent())
        return;

    if (keyListenerHolder != nullptr)
        keyListenerHolder->removeKeyListener (this);

    keyListenerHolder = topLevel;
    topLevel->addKeyListener (this);
}

bool MainWindowContent::keyPressed (const juce::KeyPress& key, juce::Component*)
{
    if (key == juce::KeyPress ('c', juce::ModifierKeys::commandModifier, 0))
    {
        copyReportToClipboard();
        return true;
    }

    const auto modifiers = key.getModifiers();

    if (key.getKeyCode() == juce::KeyPress::tabKey
        && ! (modifiers.isCtrlDown() || modifiers.isAltDown() || modifiers.isCommandDown()))
        return moveKeyboardFocus (! modifiers.isShiftDown());

    return false;
}

bool MainWindowContent::moveKeyboardFocus (bool forwards)
{
    // Both controls are enabled and disabled together.
    if (! usbLatencyCombo->isEnabled() || ! asioBufferSizeSlider->isEnabled())
        return false;

    const auto onCombo = usbLatencyCombo->hasKeyboardFocus (true);
    const auto onSlider = asioBufferSizeSlider->hasKeyboardFocus (true);

    if (onCombo || (! onSlider && ! forwards))
        asioBufferSizeSlider->grabFocusFromKeyboard();
    else
        usbLatencyCombo->grabKeyboardFocus();

    return true;
}

juce::String MainWindowContent::createReport() const
{
    juce::StringArray lines;

    if (auto* application = juce::JUCEApplicationBase::getInstance())
        lines.add (application->getApplicationName() + " " + application->getApplicationVersion());

    for (const auto* line : { driverLine.get(), deviceLine.get() })
        if (line->getShownText().isNotEmpty())
            lines.add (line->getShownText());

    if (usbLatencyCombo->isEnabled() && usbLatencyCombo->getText().isNotEmpty())
        lines.add ("USB Buffer Size: " + usbLatencyCombo->getText());

    if (const auto size = shownAsioBufferSize(); asioBufferSizeSlider->isEnabled() && size.isNotEmpty())
        lines.add ("ASIO Buffer Size: " + size);

    return lines.joinIntoString ("\n") + "\n";
}

void MainWindowContent::copyReportToClipboard() const
{
    juce::SystemClipboard::copyTextToClipboard (createReport());
}

//==============================================================================
juce::String MainWindowContent::workOutTooltip (juce::Component& control)
{
    const StreamingModeItem* item = nullptr;

    if (&control == usbLatencyCombo.get())
    {
        item = streamingModeItemWithId (usbLatencyCombo->getSelectedId());

        if (item == nullptr)
            return {};
    }
    else if (&control != asioBufferSizeSlider.get() || shownAsioBufferSize().isEmpty())
    {
        // Not one of ours, or a slider still showing no size from the driver: a tip
        // would describe a value nobody reported.
        return {};
    }

    // Read when the tip is about to show, so it follows a rate changed since.
    uint32_t sampleRate = 0;

    if (! readCurrentSampleRateOfDevice (0, sampleRate))
        return {};

    if (item != nullptr)
        return LatencyText::usbBufferSize (item->text, item->milliseconds, sampleRate);

    return LatencyText::asioBufferSize (static_cast<uint32_t> (asioBufferSizeSlider->getValue()), sampleRate);
}

void MainWindowContent::mouseEnter (const juce::MouseEvent&)
{
    updateTooltipWindow();
}

void MainWindowContent::mouseExit (const juce::MouseEvent&)
{
    updateTooltipWindow();
}

void MainWindowContent::updateTooltipWindow()
{
    // JUCE has already moved the pointer's component when it sends the exit.
    const auto overAControl = usbLatencyCombo->isMouseOver (true) || asioBufferSizeSlider->isMouseOver (true);

    if (overAControl && tooltipWindow == nullptr)
        tooltipWindow = std::make_unique<DeferredTooltipWindow> (
            *this,
            std::vector<juce::Component*> { usbLatencyCombo.get(), asioBufferSizeSlider.get() },
            [this] (juce::Component& control) { return workOutTooltip (control); });
    else if (! overAControl)
        tooltipWindow.reset();
}
