#include "device/vhw.h"

#include "device/OpenedDevice.h"

namespace
{
    // The properties are read through a device opened only for this. If the open or
    // the query fails the record stays all zero, whatever a failing driver left in it,
    // and the result says so: nothing in it was reported by the driver.
    bool readProperties (uint32_t deviceIndex, TUsbAudioDeviceProperties& properties)
    {
        const auto read = [&]
        {
            const OpenedDevice device (deviceIndex);
            return device.isOpen()
                && TUSBAUDIO_GetDeviceProperties (device.getHandle(), &properties) == TUSBAUDIO_STATUS_SUCCESS;
        }();

        if (! read)
            properties = {};

        return read;
    }

    constexpr uint32_t vesk2ProductId = 16;
}

vhw::vhw (uint32_t deviceIndex)
    : index (deviceIndex)
{
    lock.setOwned (new juce::CriticalSection());    // NOLINT(cppcoreguidelines-owning-memory): setOwned takes ownership

    hasProperties = readProperties (index, properties);
    productId = properties.productId;
    name = productId == vesk2ProductId ? "Vesk 2" : "Vesk USB";
}

vhw::~vhw()
{
    const juce::ScopedLock sl (*lock);

    if (handle != 0)
    {
        TUSBAUDIO_CloseDevice (handle);
        handle = 0;
    }
}

juce::String vhw::getName() const
{
    return name;
}
