#include "app/ScreenReaderTraverser.h"

namespace
{
auto orderKey (const juce::Component* component)
{
    const auto explicitOrder = component->getExplicitFocusOrder();

    return std::make_tuple (explicitOrder > 0 ? explicitOrder : std::numeric_limits<int>::max(),
                            component->isAlwaysOnTop() ? 0 : 1,
                            component->getY(),
                            component->getX());
}

void collectShownComponents (juce::Component& parent, std::vector<juce::Component*>& found)
{
    std::vector<juce::Component*> shown;

    for (auto* child : parent.getChildren())
        if (child->isVisible())
            shown.push_back (child);

    std::stable_sort (shown.begin(), shown.end(),
                      [] (const juce::Component* a, const juce::Component* b) { return orderKey (a) < orderKey (b); });

    for (auto* child : shown)
    {
        found.push_back (child);

        if (! child->isFocusContainer())
            collectShownComponents (*child, found);
    }
}
} // namespace

std::vector<juce::Component*> ScreenReaderTraverser::getAllComponents (juce::Component* parentComponent)
{
    std::vector<juce::Component*> found;

    if (parentComponent != nullptr)
        collectShownComponents (*parentComponent, found);

    return found;
}

juce::Component* ScreenReaderTraverser::getDefaultComponent (juce::Component* parentComponent)
{
    const auto all = getAllComponents (parentComponent);
    return all.empty() ? nullptr : all.front();
}

juce::Component* ScreenReaderTraverser::getNextComponent (juce::Component* current)
{
    return neighbourOf (current, 1);
}

juce::Component* ScreenReaderTraverser::getPreviousComponent (juce::Component* current)
{
    return neighbourOf (current, -1);
}

juce::Component* ScreenReaderTraverser::neighbourOf (juce::Component* current, int step)
{
    if (current == nullptr)
        return nullptr;

    const auto all = getAllComponents (current->findFocusContainer());
    const auto found = std::find (all.begin(), all.end(), current);

    if (found == all.end())
        return nullptr;

    const auto index = std::distance (all.begin(), found) + step;
    return index >= 0 && index < static_cast<std::ptrdiff_t> (all.size()) ? all[static_cast<size_t> (index)] : nullptr;
}
