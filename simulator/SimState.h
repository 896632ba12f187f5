/*
    What the simulated driver knows: the connected interfaces, the driver-wide
    settings and the failures a test has asked for. A plain value; reading and
    writing it as text is SimStateParser's job, keeping it in a file StateStore's.
*/
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk2sim
{

/** One simulated interface. The serial tells it apart from every other interface
    the state file has seen, so the notification thread can tell arrivals from
    removals even when indexes move down. */
struct SimInterface
{
    uint32_t serial = 0;
    uint32_t productId = 16;
    uint32_t firmware = 0x1a2;
    uint32_t usbMode = 0;

    bool operator== (const SimInterface& other) const;
};

/** A row of the minimum-buffer-size table: rates up to upToRate (all rates when
    unbounded) need at least minimumSize samples. */
struct MinimumBufferRow
{
    bool unbounded = false;
    uint32_t upToRate = 0;
    uint32_t minimumSize = 0;

    bool operator== (const MinimumBufferRow& other) const;
};

struct SimState
{
    std::vector<SimInterface> interfaces;   // in driver index order
    uint32_t nextSerial = 1;                // greater than every serial ever handed out
    uint32_t driverMajor = 5;
    uint32_t driverMinor = 12;
    uint32_t streamingMode = 4;
    uint32_t asioBufferSize = 256;
    uint32_t sampleRate = 48000;
    std::vector<MinimumBufferRow> minimumBufferSizes;   // ascending bounds, an unbounded row last
    std::map<std::string, uint32_t> failures;           // function name -> status (a count for GetDeviceCount)

    /** One interface (serial 1, product id 16, firmware 1a2, USB mode 0), driver 5.12,
        streaming mode 4, ASIO buffer size 256 at 48000 Hz, and minimums of 64 up to
        48000 Hz, 128 up to 96000 Hz and 256 above. */
    static SimState makeDefault();

    /** The smallest ASIO buffer size for a rate; none when the table has no row for it. */
    std::optional<uint32_t> minimumBufferSizeFor (uint32_t rate) const;

    const SimInterface* findBySerial (uint32_t serial) const;

    /** Adds an interface at the next index with a fresh serial; false when serials ran out. */
    bool plug (uint32_t productId, uint32_t firmware, uint32_t usbMode);

    /** Sets or replaces the row with the same bound, keeping the table in order. */
    void setMinimumBufferSize (const MinimumBufferRow& row);

    std::optional<uint32_t> injectedFailure (std::string_view functionName) const;

    bool operator== (const SimState& other) const;
};

/** The names of the 15 driver functions, the only ones a failure can be injected into. */
const std::array<std::string_view, 15>& driverFunctionNames();
bool isDriverFunctionName (std::string_view name);

/** The one function whose injected "failure" is a device count rather than a status. */
constexpr std::string_view deviceCountFunctionName = "TUSBAUDIO_GetDeviceCount";

} // namespace vesk2sim
