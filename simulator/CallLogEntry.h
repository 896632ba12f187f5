/*
    One line of the call log ($VESK2_SIM_LOG):

        MICROS NAME IN... -> STATUS [KEY=VALUE ...]

    MICROS is microseconds since the Unix epoch, IN the in-arguments in order as
    unsigned decimals (pointers as their numeric value), STATUS the result in
    decimal (the count for TUSBAUDIO_GetDeviceCount), then the out-values of a
    successful call. A notification posted by the library is logged as

        MICROS POST MESSAGE WPARAM
*/
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk2sim
{

class CallLogEntry final
{
public:
    explicit CallLogEntry (std::string_view functionName);

    CallLogEntry& addIn (uint64_t value);
    CallLogEntry& addOut (std::string_view key, uint64_t value);
    CallLogEntry& addOutHex (std::string_view key, uint32_t value);

    /** The out-values are written only when the status is 0. */
    std::string toLine (uint64_t micros, uint32_t status) const;

    static std::string postLine (uint64_t micros, uint32_t message, uint64_t wParam);

    /** Appends the line to the log file, if there is one; a log that cannot be
        written never changes what the driver call returns. */
    static void append (const std::string& logPath, const std::string& line);

private:
    std::string name;
    std::vector<uint64_t> ins;
    std::vector<std::string> outs;
};

} // namespace vesk2sim
