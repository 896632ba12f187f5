/*
    The driver's API library as the control panel calls it.

    On a user's Windows machine the driver's own tusbaudioapi.dll provides these
    functions; on the build machines our simulator (simulator/) provides a library
    of the same name with the same functions. Every function but
    TUSBAUDIO_GetDeviceCount returns a status: 0 is success, any other value is a
    failure, and callers never tell failure codes apart.

    Device handles, indexes and values are 32 bits wide. The streaming-mode and
    buffer-size calls act on the driver as a whole and take no handle.
*/
#pragma once

#include <stdint.h>

#if defined (_WIN32)
 #if defined (TUSBAUDIO_BUILDING_LIBRARY)
  #define TUSBAUDIO_API __declspec(dllexport)
 #else
  #define TUSBAUDIO_API __declspec(dllimport)
 #endif
#else
 #define TUSBAUDIO_API __attribute__((visibility ("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t TUsbAudioStatus;
typedef uint32_t TUsbAudioHandle;

/** 0 is the only success value. */
#define TUSBAUDIO_STATUS_SUCCESS 0u

/** The window message the program asks the driver to post on a device change. */
#define TUSBAUDIO_PNP_WINDOW_MESSAGE 1024u
/** wParam of that message: an interface arrived, or one was removed. */
#define TUSBAUDIO_PNP_DEVICE_ARRIVED 1u
#define TUSBAUDIO_PNP_DEVICE_REMOVED 2u

/** The device properties record, 1040 bytes. Only words 1 and 2 are read. */
typedef struct TUsbAudioDeviceProperties
{
    uint32_t reserved0;
    uint32_t productId;         /**< 16 marks the Vesk 2 */
    uint32_t firmwareVersion;   /**< shown in hexadecimal */
    uint32_t reserved[257];
} TUsbAudioDeviceProperties;

/** The driver-info record, six words. Only words 2 and 3 are read. */
typedef struct TUsbAudioDriverInfo
{
    uint32_t reserved0;
    uint32_t reserved1;
    uint32_t versionMajor;
    uint32_t versionMinor;
    uint32_t reserved4;
    uint32_t reserved5;
} TUsbAudioDriverInfo;

/** Takes a snapshot of the connected interfaces; the count and the opens work on it. */
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_EnumerateDevices (void);

/** The number of interfaces in the last snapshot: indexes 0 to count - 1. */
TUSBAUDIO_API uint32_t TUSBAUDIO_GetDeviceCount (void);

/** On success the handle is non-zero and open until closed. */
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_OpenDeviceByIndex (uint32_t deviceIndex, TUsbAudioHandle* handle);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_CloseDevice (TUsbAudioHandle handle);

/** A device is usable by the panel only when this succeeds with mode 0. */
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetDeviceUsbMode (TUsbAudioHandle handle, uint32_t* usbMode);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetDeviceProperties (TUsbAudioHandle handle, TUsbAudioDeviceProperties* properties);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetDriverInfo (TUsbAudioDriverInfo* driverInfo);

/** From this call on, the driver posts windowMessage to the window: wParam 1 on an
    arrival, 2 on a removal. The program passes 0, 0, its window, 1024, 0. */
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_RegisterPnpNotification (void* deviceArrivalEvent,
                                                                 void* deviceRemovalEvent,
                                                                 void* windowHandle,
                                                                 uint32_t windowMessage,
                                                                 uint32_t flags);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_UnregisterPnpNotification (void);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetUsbStreamingMode (uint32_t* mode);
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_SetUsbStreamingMode (uint32_t mode);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetASIOBufferSize (uint32_t* size);
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_SetASIOBufferSize (uint32_t size);

TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetCurrentSampleRate (TUsbAudioHandle handle, uint32_t* sampleRate);

/** Takes the rate as a value (not a handle) and gives the smallest ASIO buffer size for it. */
TUSBAUDIO_API TUsbAudioStatus TUSBAUDIO_GetMinimumASIOBufferSize (uint32_t sampleRate, uint32_t* minimumSize);

#ifdef __cplusplus
}

static_assert (sizeof (TUsbAudioDeviceProperties) == 1040, "the driver writes 1040 bytes of properties");
static_assert (sizeof (TUsbAudioDriverInfo) == 24, "the driver writes six words of driver info");
#endif
