// The state-file parser must take any bytes without crashing, explain every
// rejection, and read back exactly what it writes.

#include "simulator/SimStateParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    const std::string_view text (reinterpret_cast<const char*> (data), size);
    const auto result = vesk2sim::parse (text);

    if (! result.state.has_value())
    {
        if (result.error.empty())
            std::abort();

        return 0;
    }

    const auto written = vesk2sim::format (*result.state);
    const auto reread = vesk2sim::parse (written);

    if (! reread.state.has_value() || ! (*reread.state == *result.state))
        std::abort();

    return 0;
}
