/*
    The state file's text form, read and written without any I/O so it can be
    fuzzed and tested on its own.

    vesk2-sim-state 1                                   first line that is not blank or a comment
    driver-version 5.12                                 major.minor
    streaming-mode 4
    asio-buffer-size 256
    sample-rate 48000
    minimum-asio-buffer-size 48000 64                   up to this rate (or "max": every rate) ...
    minimum-asio-buffer-size max 256                    ... at least this many samples
    next-serial 2                                       the serial the next plugged interface gets
    interface 1 product-id=16 firmware=1a2 usb-mode=0   one line per interface, in index order
    fail TUSBAUDIO_SetASIOBufferSize 1                  function and the status it returns

    Lines starting with '#' and blank lines are ignored. Settings that are left out
    keep their default; the interfaces are exactly the ones listed (none is allowed);
    table rows, when there are any, replace the whole default table. Anything else,
    a repeated setting or serial, or a number that does not fit 32 bits, is an error.
*/
#pragma once

#include "simulator/SimState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk2sim
{

struct ParseResult
{
    std::optional<SimState> state;     // set on success
    std::string error;                 // "line N: what is wrong" otherwise
};

/** Never throws for any input, whatever bytes it holds. */
ParseResult parse (std::string_view text);

/** Text that parse() reads back to an equal state. */
std::string format (const SimState& state);

/** Strict unsigned numbers: digits only (no sign, space or prefix), at least one,
    and the value must fit 32 bits. */
std::optional<uint32_t> parseDecimal32 (std::string_view text);
std::optional<uint32_t> parseHex32 (std::string_view text);

/** Lower-case hexadecimal without prefix, as the call log and the file write it. */
std::string toHex (uint32_t value);

/** The text quoted in an error message: cut short, with anything unprintable as '?'. */
std::string quoteForMessage (std::string_view text);

} // namespace vesk2sim
