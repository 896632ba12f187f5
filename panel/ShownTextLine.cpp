#include "panel/ShownTextLine.h"

namespace
{
class ShownTextLineHandler final : public juce::AccessibilityHandler
{
public:
    explicit ShownTextLineHandler (ShownTextLine& lineToWrap)
        : juce::AccessibilityHandler (lineToWrap, juce::AccessibilityRole::staticText),
          line (lineToWrap)
    {
    }

    juce::String getTitle() const override      { return line.getShownText(); }

    juce::AccessibleState getCurrentState() const override
    {
        const auto state = juce::AccessibilityHandler::getCurrentState();
        return line.getShownText().isEmpty() ? state.withIgnored() : state;
    }

private:
    ShownTextLine& line;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ShownTextLineHandler)
};
} // namespace

ShownTextLine::ShownTextLine (const juce::String& name)
    : juce::Component (name)
{
    setInterceptsMouseClicks (false, false);
}

void ShownTextLine::setShownText (const juce::String& text)
{
    if (text == shownText)
        return;

    shownText = text;

    // Never repaints: the parent has just painted this text.
    if (auto* handler = getAccessibilityHandler())
        handler->notifyAccessibilityEvent (juce::AccessibilityEvent::titleChanged);
}

std::unique_ptr<juce::AccessibilityHandler> ShownTextLine::createAccessibilityHandler()
{
    return std::make_unique<ShownTextLineHandler> (*this);
}
