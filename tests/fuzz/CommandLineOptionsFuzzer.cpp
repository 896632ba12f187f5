// Checks the option detection against the plainest model of the rule: the
// option's ASCII letters fold to lower case, nothing else folds, and the option
// may stand anywhere in the text.

#include "app/CommandLineOptions.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
char32_t foldAscii (char32_t c)
{
    return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
}

bool modelContains (const std::u32string& text, const char* option)
{
    std::u32string foldedText, foldedOption;

    for (auto c : text)
        foldedText += foldAscii (c);

    for (auto* p = option; *p != 0; ++p)
        foldedOption += foldAscii (static_cast<char32_t> (*p));

    return foldedText.find (foldedOption) != std::u32string::npos;
}

// Bytes below 0x80 are ASCII; a higher byte and its follower make one code point
// anywhere in the Unicode range but the surrogates and zero, so that characters
// which fold to ASCII under some locales (U+0130, U+212A) turn up often.
std::u32string toCodePoints (const uint8_t* data, size_t size)
{
    std::u32string text;

    for (size_t i = 0; i < size; ++i)
    {
        char32_t c = data[i];

        if (c >= 0x80 && i + 1 < size)
        {
            c = ((c & 0x7f) << 8 | data[++i]) * 17 % 0x110000;

            if (c == 0 || (c >= 0xd800 && c <= 0xdfff))
                c = 0x130;
        }

        if (c != 0)
            text += c;
    }

    return text;
}
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const auto codePoints = toCodePoints (data, size);
    const juce::String text (juce::CharPointer_UTF32 (reinterpret_cast<const juce::juce_wchar*> (codePoints.c_str())));

    for (auto* option : { CommandLineOptions::exitAll, CommandLineOptions::hide })
        if (CommandLineOptions::contains (text, option) != modelContains (codePoints, option))
            std::abort();

    return 0;
}
