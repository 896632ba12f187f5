#include <gtest/gtest.h>

#include "app/CommandLineOptions.h"

namespace
{
struct OptionCase
{
    const char* commandLine;
    bool hasExitAll;
    bool hasHide;

    friend void PrintTo (const OptionCase& c, std::ostream* os) { *os << '"' << c.commandLine << '"'; }
};

// The text JUCE hands to initialise: the command line after the program path, trimmed.
const OptionCase optionCases[] = {
    { "", false, false },
    { "-exitall", true, false },
    { "-EXITALL", true, false },
    { "-ExitAll now", true, false },
    { "-Hide", false, true },
    { "-HIDE", false, true },
    { "abc-hidexyz", false, true },
    // "-hid" then "den": the letters of "-hide" are there, but not in a row.
    { "-hidden", false, false },
    { "-hidehidden", false, true },
    { "x-hide", false, true },
    { "/hide", false, false },
    { "hide", false, false },
    { "- hide", false, false },
    { "-hid", false, false },
    { "--exitall -hide", true, true },
    { "\"C:\\Program Files\\Vesk\" -hide", false, true },
    { "-exital", false, false },
    // Only ASCII letters fold: these look like the options to a locale-aware
    // lower-casing but are not them.
    { "-h\xc4\xb0" "de", false, false },
    { "-\xc4\xb0" "xitall", false, false },
};

class CommandLineOptionsTest : public testing::TestWithParam<OptionCase>
{
};
}

TEST_P (CommandLineOptionsTest, FindsEachOptionAsAnAsciiCaseFoldedSubstring)
{
    const auto& c = GetParam();
    const auto text = juce::String::fromUTF8 (c.commandLine);

    EXPECT_EQ (CommandLineOptions::contains (text, CommandLineOptions::exitAll), c.hasExitAll) << c.commandLine;
    EXPECT_EQ (CommandLineOptions::contains (text, CommandLineOptions::hide), c.hasHide) << c.commandLine;
    EXPECT_EQ (CommandLineOptions::requestsExit (text), c.hasExitAll || c.hasHide) << c.commandLine;
}

// Cases are named by their position, so CTest sees the same names on every run.
INSTANTIATE_TEST_SUITE_P (CommandLines, CommandLineOptionsTest, testing::ValuesIn (optionCases),
                          [] (const testing::TestParamInfo<OptionCase>& param)
                          { return "Case" + std::to_string (param.index); });
