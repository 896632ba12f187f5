#include "device/OpenedDevice.h"

OpenedDevice::OpenedDevice (uint32_t deviceIndex)
    : opened (TUSBAUDIO_OpenDeviceByIndex (deviceIndex, &handle) == TUSBAUDIO_STATUS_SUCCESS)
{
}

OpenedDevice::~OpenedDevice()
{
    if (opened)
        TUSBAUDIO_CloseDevice (handle);
}

bool OpenedDevice::readCurrentSampleRate (uint32_t& sampleRate) const
{
    return opened && TUSBAUDIO_GetCurrentSampleRate (handle, &sampleRate) == TUSBAUDIO_STATUS_SUCCESS;
}
