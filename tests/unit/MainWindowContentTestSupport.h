// What the settings panel's tests share: the simulated driver, the panel's
// controls found by name, and pictures of what the panel paints.
#pragma once

#include "device/DeviceChangeMessage.h"
#include "panel/MainWindowContent.h"
#include "MessageLoopSupport.h"
#include "SimulatedDriver.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace panel_test
{

using simulated_driver::Call;
using simulated_driver::SimulatedDriver;

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

/** Hands the panel a device-change message as JUCE delivers the notifier's post,
    on this (the message) thread. */
inline void notify (MainWindowContent& panel, int code)
{
    const juce::Message::Ptr message = new DeviceChangeMessage (code, 0, 0, &panel);
    panel.handleMessage (*message);
}

/** notify, then the rescan an arrival calls for at once, even one it paced. */
inline void deliver (MainWindowContent& panel, int code)
{
    notify (panel, code);
    panel.getArrivalPacer().rescanNowIfPending();
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
