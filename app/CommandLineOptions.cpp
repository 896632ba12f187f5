#include "app/CommandLineOptions.h"

namespace CommandLineOptions
{
namespace
{
    juce::juce_wchar foldAsciiCase (juce::juce_wchar c) noexcept
    {
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    }
}

// The folding stays with ASCII on purpose: a locale-aware lower-casing would let
// characters such as U+0130 stand in for the option's 'i'.
bool contains (const juce::String& commandLine, const char* option)
{
    const auto optionLength = static_cast<int> (std::strlen (option));

    for (auto start = commandLine.getCharPointer(); ! start.isEmpty(); ++start)
    {
        auto text = start;
        int matched = 0;

        while (matched < optionLength && ! text.isEmpty()
               && foldAsciiCase (*text) == foldAsciiCase (static_cast<juce::juce_wchar> (option[matched])))
        {
            ++text;
            ++matched;
        }

        if (matched == optionLength)
            return true;
    }

    return false;
}

bool requestsExit (const juce::String& commandLine)
{
    return contains (commandLine, exitAll) || contains (commandLine, hide);
}
}
