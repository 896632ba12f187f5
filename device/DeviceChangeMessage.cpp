#include "device/DeviceChangeMessage.h"

DeviceChangeMessage::DeviceChangeMessage (int p1, int p2, int p3, void* ptr)
    : intParameter1 (p1), intParameter2 (p2), intParameter3 (p3), pointerParameter (ptr)
{
}
