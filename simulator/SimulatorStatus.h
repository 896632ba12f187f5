/*
    The failure statuses the simulated driver returns by itself (an injected
    failure returns whatever status it was given). Callers never tell failure
    codes apart; these only make the call log and the tests easier to read.
*/
#pragma once

#include <cstdint>

namespace vesk2sim
{

constexpr uint32_t statusInvalidParameter = 0xee000001u;   // null out-pointer or a value the driver refuses
constexpr uint32_t statusInvalidHandle    = 0xee000002u;   // the handle is not open
constexpr uint32_t statusNoSuchDevice     = 0xee000003u;   // index past the snapshot, or the interface is gone
constexpr uint32_t statusStateNotWritable = 0xee000004u;   // a setting could not be stored in the state file
constexpr uint32_t statusNotRegistered    = 0xee000005u;   // unregistering without a registration
constexpr uint32_t statusWatchFailed      = 0xee000006u;   // the state file's folder cannot be watched
constexpr uint32_t statusNotSupported     = 0xee000007u;   // notification through events rather than a window

} // namespace vesk2sim
