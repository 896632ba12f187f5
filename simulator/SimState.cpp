#include "simulator/SimState.h"

#include <algorithm>
#include <limits>

namespace vesk2sim
{

bool SimInterface::operator== (const SimInterface& other) const
{
    return serial == other.serial && productId == other.productId
        && firmware == other.firmware && usbMode == other.usbMode;
}

bool MinimumBufferRow::operator== (const MinimumBufferRow& other) const
{
    return unbounded == other.unbounded && minimumSize == other.minimumSize
        && (unbounded || upToRate == other.upToRate);
}

SimState SimState::makeDefault()
{
    SimState state;
    state.interfaces.push_back ({ 1, 16, 0x1a2, 0 });
    state.nextSerial = 2;
    state.minimumBufferSizes = { { false, 48000, 64 },
                                 { false, 96000, 128 },
                                 { true, 0, 256 } };
    return state;
}

std::optional<uint32_t> SimState::minimumBufferSizeFor (uint32_t rate) const
{
    for (auto& row : minimumBufferSizes)
        if (row.unbounded || rate <= row.upToRate)
            return row.minimumSize;

    return std::nullopt;
}

const SimInterface* SimState::findBySerial (uint32_t serial) const
{
    auto found = std::find_if (interfaces.begin(), interfaces.end(),
                               [serial] (const SimInterface& i) { return i.serial == serial; });
    return found != interfaces.end() ? &*found : nullptr;
}

bool SimState::plug (uint32_t productId, uint32_t firmware, uint32_t usbMode)
{
    // Serials are never reused, so an unplug followed by a plug always shows as
    // two changes, however quickly they follow each other.
    if (nextSerial == std::numeric_limits<uint32_t>::max())
        return false;

    interfaces.push_back ({ nextSerial++, productId, firmware, usbMode });
    return true;
}

void SimState::setMinimumBufferSize (const MinimumBufferRow& row)
{
    auto sameBound = [&row] (const MinimumBufferRow& r)
    {
        return r.unbounded == row.unbounded && (row.unbounded || r.upToRate == row.upToRate);
    };

    auto existing = std::find_if (minimumBufferSizes.begin(), minimumBufferSizes.end(), sameBound);

    if (existing != minimumBufferSizes.end())
    {
        existing->minimumSize = row.minimumSize;
        return;
    }

    auto comesAfter = [&row] (const MinimumBufferRow& r)
    {
        return r.unbounded || (! row.unbounded && r.upToRate > row.upToRate);
    };

    minimumBufferSizes.insert (std::find_if (minimumBufferSizes.begin(), minimumBufferSizes.end(), comesAfter), row);
}

std::optional<uint32_t> SimState::injectedFailure (std::string_view functionName) const
{
    auto found = failures.find (std::string (functionName));
    return found != failures.end() ? std::optional<uint32_t> (found->second) : std::nullopt;
}

bool SimState::operator== (const SimState& other) const
{
    return interfaces == other.interfaces && nextSerial == other.nextSerial
        && driverMajor == other.driverMajor && driverMinor == other.driverMinor
        && streamingMode == other.streamingMode && asioBufferSize == other.asioBufferSize
        && sampleRate == other.sampleRate && minimumBufferSizes == other.minimumBufferSizes
        && failures == other.failures;
}

const std::array<std::string_view, 15>& driverFunctionNames()
{
    static const std::array<std::string_view, 15> names {
        "TUSBAUDIO_EnumerateDevices",
        "TUSBAUDIO_GetDeviceCount",
        "TUSBAUDIO_OpenDeviceByIndex",
        "TUSBAUDIO_CloseDevice",
        "TUSBAUDIO_GetDeviceUsbMode",
        "TUSBAUDIO_GetDeviceProperties",
        "TUSBAUDIO_GetDriverInfo",
        "TUSBAUDIO_RegisterPnpNotification",
        "TUSBAUDIO_UnregisterPnpNotification",
        "TUSBAUDIO_GetUsbStreamingMode",
        "TUSBAUDIO_SetUsbStreamingMode",
        "TUSBAUDIO_GetASIOBufferSize",
        "TUSBAUDIO_SetASIOBufferSize",
        "TUSBAUDIO_GetCurrentSampleRate",
        "TUSBAUDIO_GetMinimumASIOBufferSize"
    };
    return names;
}

bool isDriverFunctionName (std::string_view name)
{
    auto& names = driverFunctionNames();
    return std::find (names.begin(), names.end(), name) != names.end();
}

} // namespace vesk2sim
