// The state-file parser must take any bytes without crashing, explain every
// rejection in one short printable line (a line number, where it names one, that
// the text has), and read back exactly what it writes.

#include "simulator/SimStateParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{
// vesk2-sim prints the error to a terminal: it must not carry the input's
// control bytes or run on for pages.
bool isClearError (const std::string& error, std::string_view text)
{
    if (error.empty() || error.size() > 300)
        return false;

    if (! std::all_of (error.begin(), error.end(), [] (char c) { return c >= 0x20 && c < 0x7f; }))
        return false;

    if (error.rfind ("line ", 0) == 0)
    {
        const auto lines = static_cast<size_t> (std::count (text.begin(), text.end(), '\n')) + 1;
        const auto number = std::strtoull (error.c_str() + 5, nullptr, 10);

        if (number == 0 || number > lines)
            return false;
    }

    return true;
}
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const std::string_view text (reinterpret_cast<const char*> (data), size);
    const auto result = vesk2sim::parse (text);

    if (! result.state.has_value())
    {
        if (! isClearError (result.error, text))
            std::abort();

        return 0;
    }

    const auto written = vesk2sim::format (*result.state);
    const auto reread = vesk2sim::parse (written);

    if (! reread.state.has_value() || ! (*reread.state == *result.state))
        std::abort();

    return 0;
}
