// What the settings panel's tests share: a simulated driver with a state file
// and call log of its own, the panel's controls found by name, and pictures of
// what the panel paints.
#pragma once

#include "device/DeviceChangeMessage.h"
#include "panel/MainWindowContent.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace panel_test
{

inline void setEnvironment (const char* name, const juce::String& value)
{
   #if JUCE_WINDOWS
    _putenv_s (name, value.toRawUTF8());
   #else
    setenv (name, value.toRawUTF8(), 1);
   #endif
}

inline void clearEnvironment (const char* name)
{
   #if JUCE_WINDOWS
    _putenv_s (name, "");
   #else
    unsetenv (name);
   #endif
}

/** One line of the simulator's call log: "MICROS NAME IN... -> STATUS [KEY=VALUE ...]". */
struct Call
{
    juce::String name;
    juce::StringArray inputs;
    juce::String status;
    juce::StringArray outputs;

    juce::String input (int i) const       { return inputs[i]; }
};

/** The simulated driver of one test: a fresh folder holding its state file and
    its call log, named to the library through VESK2_SIM_STATE and VESK2_SIM_LOG
    (which it reads on every call). */
class SimulatedDriver
{
public:
    // A name of its own: CTest runs test processes side by side, and the numbered
    // names of getNonexistentChildFile come out the same in each of them.
    SimulatedDriver()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getChildFile ("vesk2-panel-test-" + juce::Uuid().toString()))
    {
        folder.createDirectory();
        setEnvironment ("VESK2_SIM_STATE", stateFile().getFullPathName());
        setEnvironment ("VESK2_SIM_LOG", logFile().getFullPathName());
    }

    ~SimulatedDriver()
    {
        clearEnvironment ("VESK2_SIM_STATE");
        clearEnvironment ("VESK2_SIM_LOG");
        folder.deleteRecursively();
    }

    juce::File stateFile() const    { return folder.getChildFile ("state"); }
    juce::File logFile() const      { return folder.getChildFile ("calls.log"); }

    /** Replaces the whole state with the state file's own lines; settings left
        out keep the simulator's defaults (driver 5.12, streaming mode 4, ASIO
        buffer size 256 at 48000 Hz, minimums 64 / 128 / 256), and the interfaces
        are exactly those given. */
    void setState (const juce::String& lines) const
    {
        ASSERT_TRUE (stateFile().replaceWithText ("vesk2-sim-state 1\nnext-serial 100\n" + lines));
    }

    /** One interface line: serial (unique), firmware word in hexadecimal. */
    static juce::String interfaceLine (int serial, const juce::String& firmwareHex = "1a2", int usbMode = 0)
    {
        return "interface " + juce::String (serial) + " product-id=16 firmware=" + firmwareHex
               + " usb-mode=" + juce::String (usbMode) + "\n";
    }

    void clearLog() const           { logFile().deleteFile(); }

    std::vector<Call> calls() const
    {
        std::vector<Call> result;
        juce::StringArray lines;
        lines.addLines (logFile().loadFileAsString());

        for (const auto& line : lines)
        {
            auto tokens = juce::StringArray::fromTokens (line, " ", {});

            if (tokens.size() < 2 || tokens[1] == "POST")
                continue;

            Call call;
            call.name = tokens[1];
            const auto arrow = tokens.indexOf ("->");

            for (int i = 2; i < (arrow < 0 ? tokens.size() : arrow); ++i)
                call.inputs.add (tokens[i]);

            if (arrow >= 0)
            {
                call.status = tokens[arrow + 1];

                for (int i = arrow + 2; i < tokens.size(); ++i)
                    call.outputs.add (tokens[i]);
            }

            result.push_back (call);
        }

        return result;
    }

    std::vector<Call> callsNamed (const juce::String& name) const
    {
        std::vector<Call> result;

        for (const auto& call : calls())
            if (call.name == name)
                result.push_back (call);

        return result;
    }

    juce::StringArray callNames() const
    {
        juce::StringArray names;

        for (const auto& call : calls())
            names.add (call.name);

        return names;
    }

private:
    juce::File folder;
};

template <typename ComponentType>
ComponentType& findChild (juce::Component& parent, const juce::String& name)
{
    for (auto* child : parent.getChildren())
        if (child->getName() == name)
            if (auto* found = dynamic_cast<ComponentType*> (child))
                return *found;

    ADD_FAILURE() << "the panel has no child named " << name;
    throw std::runtime_error ("missing child");
}

inline juce::ComboBox& comboOf (MainWindowContent& panel)    { return findChild<juce::ComboBox> (panel, "USBLatencyCombo"); }
inline juce::Slider& sliderOf (MainWindowContent& panel)     { return findChild<juce::Slider> (panel, "ASIOBufferSize"); }

/** Delivers a device-change message as the notifier's post would, on this (the
    message) thread, and then the panel's update that the message queued. */
inline void deliver (MainWindowContent& panel, int code)
{
    const juce::Message::Ptr message = new DeviceChangeMessage (code, 0, 0, &panel);
    panel.handleMessage (*message);
    panel.handleUpdateNowIfNeeded();
}

/** The panel's own painting, without its controls, at its current size. */
inline juce::Image paintedPanel (MainWindowContent& panel)
{
    juce::Image image (juce::Image::RGB, panel.getWidth(), panel.getHeight(), true);
    juce::Graphics g (image);
    panel.paint (g);
    return image;
}

inline bool isTextPixel (juce::Colour colour)
{
    return colour.getRed() < 100 && colour.getGreen() < 100 && colour.getBlue() < 100;
}

/** The rows of the area that hold text-dark pixels, as [first, last], or empty. */
inline juce::Range<int> darkRows (const juce::Image& image, juce::Rectangle<int> area)
{
    area = area.getIntersection (image.getBounds());
    int first = -1, last = -1;

    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (isTextPixel (image.getPixelAt (x, y)))
            {
                if (first < 0)
                    first = y;

                last = y;
                break;
            }

    return first < 0 ? juce::Range<int>() : juce::Range<int> (first, last + 1);
}

/** True when both pictures hold the same pixels over the area. */
inline bool sameRegion (const juce::Image& a, const juce::Image& b, juce::Rectangle<int> area)
{
    for (int y = area.getY(); y < area.getBottom(); ++y)
        for (int x = area.getX(); x < area.getRight(); ++x)
            if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                return false;

    return true;
}

} // namespace panel_test
