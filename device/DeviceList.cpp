#include "device/DeviceList.h"

#include "device/CDevChangeNotify.h"
#include "device/OpenedDevice.h"

namespace
{
    // A scan lists a device only when it opens and reports USB mode 0; the device is
    // closed again whatever the mode query gave.
    bool isInUsableUsbMode (uint32_t deviceIndex)
    {
        const OpenedDevice device (deviceIndex);
        uint32_t mode = 0;

        return device.isOpen()
            && TUSBAUDIO_GetDeviceUsbMode (device.getHandle(), &mode) == TUSBAUDIO_STATUS_SUCCESS
            && mode == 0;
    }

    // More interfaces than any machine can hold on its USB buses. A driver that
    // reports a larger count (a failing one may report any number) is read only
    // this far, so a scan on the message thread always ends.
    constexpr uint32_t mostDevicesScanned = 256;
}

DeviceList::DeviceList()
{
    lock.setOwned (new juce::CriticalSection());    // NOLINT(cppcoreguidelines-owning-memory): setOwned takes ownership
    scan();
}

DeviceList::~DeviceList()
{
    clear();
    notifier.reset();
}

vhw* DeviceList::scan()
{
    clear();

    if (TUSBAUDIO_EnumerateDevices() != TUSBAUDIO_STATUS_SUCCESS)
        return nullptr;

    const auto count = juce::jmin (TUSBAUDIO_GetDeviceCount(), mostDevicesScanned);
    numDevices = 0;

    for (uint32_t i = 0; i < count; ++i)
    {
        if (! isInUsableUsbMode (i))
            continue;

        auto* record = new vhw (i);     // NOLINT(cppcoreguidelines-owning-memory): reference-counted, released by clear()
        record->incReferenceCount();    // the chain's reference, given back by clear()

        if (head != nullptr)
            head->previous = record;

        record->next = head.get();
        head = record;
        ++numDevices;
    }

    return head.get();
}

void DeviceList::clear()
{
    const juce::ScopedLock sl (*lock);

    for (auto* record = head.get(); record != nullptr;)
    {
        vhw::Ptr current (record);
        record->decReferenceCount();
        record = current->next;
    }

    head = nullptr;
    numDevices = 0;
}

int DeviceList::getNumDevices() const
{
    return static_cast<int> (numDevices);
}

vhw* DeviceList::getDevice (int position) const
{
    if (position < 0)
        return nullptr;

    auto* record = head.get();

    for (int i = 0; i < position && record != nullptr; ++i)
        record = record->next;

    return record;
}

void DeviceList::addListener (juce::MessageListener* listener)
{
    if (notifier == nullptr)
        notifier = std::make_unique<CDevChangeNotify> (*this);

    notifier->addListener (listener);
}
