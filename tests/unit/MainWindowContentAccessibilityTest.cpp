// What a screen reader is told about the settings panel: both controls by their
// captions with their values, the two painted lines as painted, in the order a
// reader walks the program's window; and that none of it changes a pixel or takes the focus.

#include "MainWindowContentDesktopSupport.h"
#include "app/Vesk2ControlPanelApplication.h"

using namespace panel_test;

namespace
{
juce::AccessibilityHandler& handlerOf (juce::Component& component)
{
    auto* handler = component.getAccessibilityHandler();

    if (handler == nullptr)
        throw std::runtime_error ("no accessibility handler for " + component.getName().toStdString());

    return *handler;
}

juce::String valueOf (juce::Component& component)
{
    auto* value = handlerOf (component).getValueInterface();
    return value != nullptr ? value->getCurrentValueAsString() : "(no value)";
}

/** Every element a reader reaches from handler, depth first: "DEPTH 'TITLE' enabled". */
juce::StringArray treeBelow (juce::AccessibilityHandler& handler, int depth)
{
    juce::StringArray lines { juce::String (depth) + " '" + handler.getTitle() + "' "
                              + (handler.getComponent().isEnabled() ? "enabled" : "disabled") };

    for (auto* child : handler.getChildren())
        lines.addArray (treeBelow (*child, depth + 1));

    return lines;
}

/** The program as it starts: the application initialised, with its window on the desktop. */
struct ProgramOnDesktop
{
    ProgramOnDesktop()
    {
        ignoreXErrorsAsTheProgramDoes();
        application->initialise ({});
    }

    ~ProgramOnDesktop()     { application->shutdown(); }

    juce::ResizableWindow& window() const
    {
        for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
            if (auto* found = dynamic_cast<juce::ResizableWindow*> (juce::TopLevelWindow::getTopLevelWindow (i)))
                return *found;

        throw std::runtime_error ("the program opened no window");
    }

    MainWindowContent& panel() const    { return dynamic_cast<MainWindowContent&> (*window().getContentComponent()); }

    static std::unique_ptr<Vesk2ControlPanelApplication> createApplication()
    {
        // The application object expects the runner's factory to be set. Only while it is
        // made: with it set, JUCE would install X error handlers that print every error.
        const auto previousFactory = std::exchange (juce::JUCEApplicationBase::createInstance,
                                                    [] () -> juce::JUCEApplicationBase* { return nullptr; });
        auto made = std::make_unique<Vesk2ControlPanelApplication>();
        juce::JUCEApplicationBase::createInstance = previousFactory;
        return made;
    }

    const std::unique_ptr<Vesk2ControlPanelApplication> application = createApplication();
};
} // namespace

TEST (MainWindowContentAccessibility, BothControlsAreAnnouncedByTheirCaptionsWithTheirValues)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));
    PanelOnDesktop desktop;
    auto& panel = desktop.panel;

    auto& combo = handlerOf (comboOf (panel));
    EXPECT_EQ (combo.getRole(), juce::AccessibilityRole::comboBox);
    EXPECT_EQ (combo.getTitle(), "USB Buffer Size");
    EXPECT_EQ (valueOf (comboOf (panel)), "4 milliseconds");
    EXPECT_TRUE (combo.getCurrentState().isExpandable());
    ASSERT_NE (combo.getValueInterface(), nullptr);
    EXPECT_TRUE (combo.getValueInterface()->isReadOnly());

    auto& slider = handlerOf (sliderOf (panel));
    EXPECT_EQ (slider.getRole(), juce::AccessibilityRole::slider);
    EXPECT_EQ (slider.getTitle(), "ASIO Buffer Size");
    EXPECT_EQ (valueOf (sliderOf (panel)), "256 samples");

    // The values follow the driver's settings as they are read back.
    driver.setState (SimulatedDriver::interfaceLine (1) + "streaming-mode 32\nasio-buffer-size 1024\n");
    deliver (panel, DeviceArrivedCode);
    EXPECT_EQ (valueOf (comboOf (panel)), "23 milliseconds");
    EXPECT_EQ (valueOf (sliderOf (panel)), "1024 samples");
}

TEST (MainWindowContentAccessibility, AScreenReaderSettingTheSliderWritesTheDriverOnceLikeARelease)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));
    PanelOnDesktop desktop;
    driver.clearLog();

    handlerOf (sliderOf (desktop.panel)).getValueInterface()->setValue (512.0);

    const auto writes = driver.callsNamed ("TUSBAUDIO_SetASIOBufferSize");
    ASSERT_EQ (writes.size(), 1u);
    EXPECT_EQ (writes[0].input (0), "512");
    EXPECT_EQ (valueOf (sliderOf (desktop.panel)), "512 samples");

    // JUCE wraps the change in drag notifications that end after it is reported:
    // nothing may be left waiting for a release, so later read-backs still show.
    driver.setState (SimulatedDriver::interfaceLine (1) + "asio-buffer-size 1024\n");
    deliver (desktop.panel, DeviceArrivedCode);
    EXPECT_EQ (valueOf (sliderOf (desktop.panel)), "1024 samples");
}

TEST (MainWindowContentAccessibility, TheTwoLinesAreReadAsPaintedAndFollowTheInterface)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1, "3c"));
    PanelOnDesktop desktop;
    auto& panel = desktop.panel;
    auto& driverLine = findChild<juce::Component> (panel, "DriverLine");
    auto& deviceLine = findChild<juce::Component> (panel, "DeviceLine");

    // Nothing is told before the panel has painted it.
    EXPECT_TRUE (handlerOf (deviceLine).isIgnored());

    paintedPanel (panel);
    EXPECT_EQ (handlerOf (driverLine).getRole(), juce::AccessibilityRole::staticText);
    EXPECT_EQ (handlerOf (driverLine).getTitle(), "Driver version 5.12");
    EXPECT_EQ (handlerOf (deviceLine).getTitle(), "Firmware version 3c");
    EXPECT_FALSE (handlerOf (deviceLine).isIgnored());

    // Each lies over its painted line.
    const auto layout = MainWindowContent::computeLayout (500, 350, 318, 207);
    EXPECT_EQ (driverLine.getBounds(), layout.driverLine);
    EXPECT_EQ (deviceLine.getBounds(), layout.firmwareLine);

    // A removal is told once the panel has painted it; a driver line not painted is not told.
    driver.setState ("fail TUSBAUDIO_GetDriverInfo 3\n");
    deliver (panel, DeviceRemovedCode);
    EXPECT_EQ (handlerOf (deviceLine).getTitle(), "Firmware version 3c");
    paintedPanel (panel);
    EXPECT_EQ (handlerOf (deviceLine).getTitle(), "Vesk 2 not connected");
    EXPECT_EQ (handlerOf (driverLine).getTitle(), "");
    EXPECT_TRUE (handlerOf (driverLine).isIgnored());
}

TEST (MainWindowContentAccessibility, APaintClippedAwayFromALineLeavesWhatItToldAsItWas)
{
    SKIP_WITHOUT_DISPLAY();
    const SimulatedDriver driver;
    driver.setState (SimulatedDriver::interfaceLine (1));
    PanelOnDesktop desktop;
    auto& panel = desktop.panel;
    paintedPanel (panel);

    // Only the slider's area is repainted while the driver no longer answers:
    // the screen still shows the driver line, so the reader still hears it.
    driver.setState (SimulatedDriver::interfaceLine (1) + "fail TUSBAUDIO_GetDriverInfo 3\n");
    juce::Image image (juce::Image::RGB, 500, 350, true);
    juce::Graphics g (image);
    g.reduceClipRegion (sliderOf (panel).getBounds());
    panel.paint (g);

    EXPECT_EQ (handlerOf (findChild<juce::Component> (panel, "DriverLine")).getTitle(), "Driver version 5.12");
}

TEST (MainWindowContentAccessibility, TheWindowHoldsTheControlsThenTheLinesNamedAndNoneLostWhileDisabled)
{
    SKIP_WITHOUT_DISPLAY();

    struct Case
    {
        const char* what;
        juce::String state;
        const char* tree;
    };

    const Case cases[] = {
        { "one interface", SimulatedDriver::interfaceLine (1),
          "0 'Vesk 2 Control Panel' enabled|1 'USB Buffer Size' enabled|1 'ASIO Buffer Size' enabled|"
          "1 'Driver version 5.12' enabled|1 'Firmware version 1a2' enabled" },
        // The disabled controls stay, to be read as unavailable; the line says why.
        { "no interface", {},
          "0 'Vesk 2 Control Panel' enabled|1 'USB Buffer Size' disabled|1 'ASIO Buffer Size' disabled|"
          "1 'Driver version 5.12' enabled|1 'Vesk 2 not connected' enabled" },
    };

    for (const auto& [what, state, tree] : cases)
    {
        SCOPED_TRACE (what);
        const SimulatedDriver driver;
        driver.setState (state);
        ProgramOnDesktop program;
        paintedPanel (program.panel());

        EXPECT_EQ (treeBelow (handlerOf (program.window()), 0).joinIntoString ("|"), juce::String (tree));
    }
}

TEST (MainWindowContentAccessibility, NothingHasTheFocusAtStartAndTheNewPartsPaintNothing)
{
    SKIP_WITHOUT_DISPLAY();

    for (const auto& state : { SimulatedDriver::interfaceLine (1), juce::String() })
    {
        SCOPED_TRACE (state.isEmpty() ? "no interface" : "one interface");
        const SimulatedDriver driver;
        driver.setState (state);
        PanelOnDesktop desktop;
        auto& panel = desktop.panel;

        // The combo box's outline is drawn unless it is enabled and focused: nothing may take the focus.
        EXPECT_FALSE (panel.hasKeyboardFocus (true));
        EXPECT_FALSE (sliderOf (panel).getWantsKeyboardFocus());

        // The panel with its controls, and again with the lines' stand-ins hidden:
        // the same pixels, so the stand-ins add none.
        const auto withLines = panel.createComponentSnapshot (panel.getLocalBounds(), true);
        findChild<juce::Component> (panel, "DriverLine").setVisible (false);
        findChild<juce::Component> (panel, "DeviceLine").setVisible (false);
        const auto withoutLines = panel.createComponentSnapshot (panel.getLocalBounds(), true);

        EXPECT_TRUE (sameRegion (withLines, withoutLines, panel.getLocalBounds()));
        EXPECT_FALSE (darkRows (withLines, MainWindowContent::computeLayout (500, 350, 318, 207).firmwareLine).isEmpty());
    }
}
