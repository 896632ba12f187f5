#include "device/DeviceList.h"

#include "device/Win32NotificationWindow.h"

#include "DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <new>

using namespace devicetest;

namespace
{
    juce::String interfaceLine (int serial, int productId, int usbMode, const char* firmware = "1a2")
    {
        return "interface " + juce::String (serial) + " product-id=" + juce::String (productId)
             + " firmware=" + firmware + " usb-mode=" + juce::String (usbMode) + "\n";
    }

    std::vector<uint32_t> indexesInChainOrder (const DeviceList& list)
    {
        std::vector<uint32_t> indexes;

        for (int i = 0; i < list.getNumDevices(); ++i)
            indexes.push_back (list.getDevice (i)->index);

        return indexes;
    }

    bool allBytesZero (const TUsbAudioDeviceProperties& properties)
    {
        auto* bytes = reinterpret_cast<const unsigned char*> (&properties);
        return std::all_of (bytes, bytes + sizeof (properties), [] (unsigned char b) { return b == 0; });
    }

    class DeviceListTest : public ::testing::Test
    {
    protected:
        SimulatedDriver driver;
    };
}

TEST_F (DeviceListTest, NoInterfaceLeavesTheListEmpty)
{
    driver.setState ({});
    DeviceList list;

    EXPECT_EQ (list.scan(), nullptr);
    EXPECT_EQ (list.getNumDevices(), 0);
    EXPECT_EQ (list.getDevice (0), nullptr);
}

TEST_F (DeviceListTest, AcceptedDevicesAreChainedNewestFirst)
{
    driver.setState (interfaceLine (1, 16, 0) + interfaceLine (2, 17, 0));
    DeviceList list;

    ASSERT_EQ (list.getNumDevices(), 2);
    auto* first = list.getDevice (0);
    auto* second = list.getDevice (1);
    ASSERT_NE (first, nullptr);
    ASSERT_NE (second, nullptr);

    EXPECT_EQ (first->index, 1u);
    EXPECT_EQ (first->productId, 17u);
    EXPECT_EQ (second->index, 0u);
    EXPECT_EQ (second->productId, 16u);
    EXPECT_EQ (list.getDevice (2), nullptr);
    EXPECT_EQ (list.getDevice (-1), nullptr);

    EXPECT_EQ (first->previous, nullptr);
    EXPECT_EQ (first->next, second);
    EXPECT_EQ (second->previous, first);
    EXPECT_EQ (second->next, nullptr);

    auto* rescanned = list.scan();
    EXPECT_EQ (rescanned, list.getDevice (0)) << "scan returns the first record";
    EXPECT_EQ (list.getNumDevices(), 2) << "a rescan starts afresh";
}

TEST_F (DeviceListTest, OnlyDevicesInUsbModeZeroAreListed)
{
    struct Case { int mode0, mode1; std::vector<uint32_t> indexes; };
    const Case cases[] = {
        { 1, 0, { 1 } },
        { 0, 1, { 0 } },
        { 0, 0, { 1, 0 } },
        { 1, 2, {} },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE ("modes " + juce::String (c.mode0) + ", " + juce::String (c.mode1));
        driver.setState (interfaceLine (1, 16, c.mode0) + interfaceLine (2, 16, c.mode1));
        DeviceList list;

        EXPECT_EQ (list.getNumDevices(), static_cast<int> (c.indexes.size()));
        EXPECT_EQ (indexesInChainOrder (list), c.indexes);
    }
}

TEST_F (DeviceListTest, DevicesThatCannotBeOpenedOrQueriedAreSkipped)
{
    struct Case { const char* failure; int numDevices; };
    const Case cases[] = {
        { "fail TUSBAUDIO_OpenDeviceByIndex 1\n", 0 },
        { "fail TUSBAUDIO_GetDeviceUsbMode 5\n", 0 },
        { "fail TUSBAUDIO_GetDeviceCount 4\n", 2 },     // indexes 2 and 3 do not exist
        { "fail TUSBAUDIO_GetDeviceProperties 1\n", 2 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.failure);
        driver.setState (interfaceLine (1, 16, 0) + interfaceLine (2, 16, 0) + c.failure);
        DeviceList list;

        EXPECT_EQ (list.getNumDevices(), c.numDevices);
    }
}

TEST_F (DeviceListTest, AnAbsurdDeviceCountStillEndsTheScanWithTheRealInterfaces)
{
    driver.setState (interfaceLine (1, 16, 0) + "fail TUSBAUDIO_GetDeviceCount 4294967295\n");
    DeviceList list;

    EXPECT_EQ (list.getNumDevices(), 1);
    // One open per index scanned, and one more for the accepted record's properties.
    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_OpenDeviceByIndex").size()), 256 + 1);
}

TEST_F (DeviceListTest, RecordsNameTheirInterfaceByProductIdAndKeepItsProperties)
{
    struct Case { int productId; const char* name; };
    const Case cases[] = { { 16, "Vesk 2" }, { 17, "Vesk USB" }, { 0, "Vesk USB" } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.productId);
        driver.setState (interfaceLine (1, c.productId, 0, "2b7"));
        DeviceList list;
        auto* record = list.getDevice (0);
        ASSERT_NE (record, nullptr);

        EXPECT_EQ (record->getName(), c.name);
        EXPECT_EQ (record->productId, static_cast<uint32_t> (c.productId));
        EXPECT_EQ (record->properties.productId, static_cast<uint32_t> (c.productId));
        EXPECT_EQ (record->properties.firmwareVersion, 0x2b7u);
        EXPECT_EQ (record->handle, 0u);
    }
}

TEST_F (DeviceListTest, ARecordWhoseDeviceFailsToOpenIsAllZeroAndNamedVeskUsb)
{
    driver.setState (interfaceLine (1, 16, 0) + "fail TUSBAUDIO_OpenDeviceByIndex 1\n");

    // Made over memory full of junk, so that a word left unwritten shows.
    alignas (vhw) unsigned char storage[sizeof (vhw)];
    std::memset (storage, 0xab, sizeof (storage));
    auto* record = new (storage) vhw (0);

    EXPECT_EQ (record->productId, 0u);
    EXPECT_EQ (record->getName(), "Vesk USB");
    EXPECT_EQ (record->index, 0u);
    EXPECT_TRUE (allBytesZero (record->properties)) << "no word of the record may be left as it was";

    record->~vhw();
}

TEST_F (DeviceListTest, EveryAcceptedDeviceIsOpenedTwiceAndEveryOpenIsClosed)
{
    // Index 1 is in another USB mode: opened once, to find that out.
    driver.setState (interfaceLine (1, 16, 0) + interfaceLine (2, 16, 1) + interfaceLine (3, 17, 0));
    driver.clearLog();
    DeviceList list;

    EXPECT_EQ (list.getNumDevices(), 2);
    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_OpenDeviceByIndex").size()), 5);
    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_CloseDevice").size()), 5);
    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_GetDeviceUsbMode").size()), 3);
    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_GetDeviceProperties").size()), 2);

    for (const auto& close : driver.callsNamed ("TUSBAUDIO_CloseDevice"))
        EXPECT_EQ (close.status, "0") << close.inputs.joinIntoString (" ");
}

TEST_F (DeviceListTest, ClearReleasesEveryRecord)
{
    driver.setState (interfaceLine (1, 16, 0) + interfaceLine (2, 16, 0) + interfaceLine (3, 16, 0));
    DeviceList list;
    ASSERT_EQ (list.getNumDevices(), 3);

    // The test's own references keep the records alive to look at.
    std::vector<vhw::Ptr> records;

    for (int i = 0; i < 3; ++i)
        records.emplace_back (list.getDevice (i));

    list.clear();

    EXPECT_EQ (list.getNumDevices(), 0);
    EXPECT_EQ (list.getDevice (0), nullptr);

    for (auto& record : records)
        EXPECT_EQ (record->getReferenceCount(), 1) << "the list gave back every reference it held";
}

TEST_F (DeviceListTest, AFailedEnumerationAfterAGoodScanEmptiesTheList)
{
    driver.setState (interfaceLine (1, 16, 0) + interfaceLine (2, 16, 0));
    DeviceList list;
    ASSERT_EQ (list.getNumDevices(), 2);

    driver.setState (interfaceLine (1, 16, 0) + interfaceLine (2, 16, 0) + "fail TUSBAUDIO_EnumerateDevices 1\n");

    EXPECT_EQ (list.scan(), nullptr);
    EXPECT_EQ (list.getNumDevices(), 0);
    EXPECT_EQ (list.getDevice (0), nullptr);
}

TEST_F (DeviceListTest, AListenerAddedTwiceIsRegisteredOnceWithOneNotifier)
{
    driver.setState (interfaceLine (1, 16, 0));
    driver.clearLog();
    RecordingMessageListener listener;

    {
        DeviceList list;
        EXPECT_TRUE (driver.callsNamed ("TUSBAUDIO_RegisterPnpNotification").empty()) << "no notifier before a listener";

        list.addListener (&listener);
        list.addListener (&listener);
        EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_RegisterPnpNotification").size()), 1);

        // Each notice reaches the listener whole before the next: a second copy of the
        // arrival would come before the removal.
        PostMessageA (Win32NotificationWindow::getWindowHandle(), 1024, 1, 0);
        PostMessageA (Win32NotificationWindow::getWindowHandle(), 1024, 2, 0);
        ASSERT_TRUE (dispatchUntil ([&] { return ! listener.received.empty() && listener.received.back().intParameter1 == DeviceRemovedCode; }));
        ASSERT_EQ (listener.received.size(), 2u);
        EXPECT_EQ (listener.received[0].intParameter1, DeviceArrivedCode);
    }

    EXPECT_EQ (static_cast<int> (driver.callsNamed ("TUSBAUDIO_UnregisterPnpNotification").size()), 1) << "the list's destruction ends the registration";
}

TEST_F (DeviceListTest, PlugAndUnplugInAnotherProcessReachTheListener)
{
    driver.setState (interfaceLine (1, 16, 0));
    RecordingMessageListener listener;
    DeviceList list;
    list.addListener (&listener);

    struct Step { const char* command; int code; int numDevices; };
    const Step steps[] = { { "plug", DeviceArrivedCode, 2 }, { "unplug", DeviceRemovedCode, 1 } };

    for (const auto& step : steps)
    {
        SCOPED_TRACE (step.command);
        const auto before = listener.received.size();

        juce::ChildProcess tool;
        ASSERT_TRUE (tool.start (juce::StringArray { VESK2_BIN_DIR "/vesk2-sim", step.command }));
        ASSERT_TRUE (tool.waitForProcessToFinish (10000));
        ASSERT_EQ (tool.getExitCode(), 0u);

        ASSERT_TRUE (dispatchUntil ([&] { return listener.received.size() > before; }));
        const auto& received = listener.received[before];

        EXPECT_EQ (received.intParameter1, step.code);
        EXPECT_EQ (received.pointerParameter, static_cast<void*> (&listener));

        list.scan();
        EXPECT_EQ (list.getNumDevices(), step.numDevices);
    }
}
