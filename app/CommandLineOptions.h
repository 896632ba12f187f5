#pragma once

#include <juce_core/juce_core.h>

/**
    The two options the program understands. Each is found as a substring
    anywhere in the command line, with only the ASCII letters A to Z taken equal
    to a to z: "-HIDE", "x-hide" and "-hidden" all hold "-hide", "/hide" does not.
*/
namespace CommandLineOptions
{
    constexpr const char* exitAll = "-exitall";
    constexpr const char* hide = "-hide";

    /** True when option occurs in commandLine, ASCII letters compared without regard to case. */
    bool contains (const juce::String& commandLine, const char* option);

    /** True when the program should end at once without a window. */
    bool requestsExit (const juce::String& commandLine);
}
