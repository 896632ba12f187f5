#include "SimTestSupport.h"

#include "simulator/SimFiles.h"
#include "simulator/SimulatorStatus.h"

#include <cstring>
#include <functional>
#include <regex>

using namespace simtest;
using namespace vesk2sim;

namespace
{
    constexpr uint32_t untouched = 0xdeadbeefu;

    // No window has this handle: a post to it would fail, and none is expected, as
    // the interfaces do not change while it is registered.
    void* const fakeWindow = reinterpret_cast<void*> (static_cast<uintptr_t> (0x7ffe1234u));

    uint32_t enumerateAndCount()
    {
        EXPECT_EQ (TUSBAUDIO_EnumerateDevices(), 0u);
        return TUSBAUDIO_GetDeviceCount();
    }

    TUsbAudioHandle openIndex (uint32_t index)
    {
        TUsbAudioHandle handle = 0;
        EXPECT_EQ (TUSBAUDIO_OpenDeviceByIndex (index, &handle), 0u) << "index " << index;
        return handle;
    }
}

class DriverApi : public SimulatorTest {};

TEST_F (DriverApi, CountIsZeroBeforeAnyEnumerationInAFreshProcess)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");   // the child starts afresh, with no snapshot

    EXPECT_EXIT (
    {
        auto count = TUSBAUDIO_GetDeviceCount();
        fs::remove_all (folder);    // the child never reaches TearDown
        std::exit (static_cast<int> (count));
    },
    ::testing::ExitedWithCode (0), "");
    EXPECT_EQ (enumerateAndCount(), 1u);
}

TEST_F (DriverApi, EnumerationTakesASnapshotThatLaterPlugsAndUnplugsDoNotChange)
{
    EXPECT_EQ (enumerateAndCount(), 1u);
    ASSERT_EQ (tool ({ "plug" }), 0);
    EXPECT_EQ (TUSBAUDIO_GetDeviceCount(), 1u);
    EXPECT_EQ (enumerateAndCount(), 2u);

    ASSERT_EQ (tool ({ "unplug" }), 0);
    ASSERT_EQ (tool ({ "unplug" }), 0);
    EXPECT_EQ (TUSBAUDIO_GetDeviceCount(), 2u);
    EXPECT_EQ (enumerateAndCount(), 0u);
}

TEST_F (DriverApi, HandlesAreDistinctNonZeroAndWorkUntilClosed)
{
    enumerateAndCount();
    auto first = openIndex (0);
    auto second = openIndex (0);

    EXPECT_NE (first, 0u);
    EXPECT_NE (second, 0u);
    EXPECT_NE (first, second);

    EXPECT_EQ (TUSBAUDIO_CloseDevice (first), 0u);

    uint32_t mode = untouched;
    EXPECT_EQ (TUSBAUDIO_GetDeviceUsbMode (first, &mode), statusInvalidHandle);
    EXPECT_EQ (mode, untouched);
    EXPECT_NE (TUSBAUDIO_CloseDevice (first), 0u) << "a second close of the same handle";
    EXPECT_NE (TUSBAUDIO_CloseDevice (0), 0u);

    EXPECT_EQ (TUSBAUDIO_GetDeviceUsbMode (second, &mode), 0u);
    EXPECT_EQ (mode, 0u);
    EXPECT_EQ (TUSBAUDIO_CloseDevice (second), 0u);
}

TEST_F (DriverApi, OpeningAnIndexOutsideTheSnapshotFailsAndLeavesTheHandle)
{
    enumerateAndCount();
    TUsbAudioHandle handle = untouched;

    EXPECT_EQ (TUSBAUDIO_OpenDeviceByIndex (1, &handle), statusNoSuchDevice);
    EXPECT_EQ (TUSBAUDIO_OpenDeviceByIndex (0xffffffffu, &handle), statusNoSuchDevice);
    EXPECT_EQ (handle, untouched);
}

TEST_F (DriverApi, AHandleFollowsItsInterfaceAcrossIndexShiftsAndDiesWhenItIsUnplugged)
{
    ASSERT_EQ (tool ({ "plug", "--product-id", "17", "--firmware", "2b0", "--usb-mode", "1" }), 0);
    ASSERT_EQ (enumerateAndCount(), 2u);
    auto handle = openIndex (1);

    ASSERT_EQ (tool ({ "unplug", "0" }), 0);     // the interface behind the handle moves to index 0

    TUsbAudioDeviceProperties properties {};
    uint32_t mode = untouched;
    ASSERT_EQ (TUSBAUDIO_GetDeviceProperties (handle, &properties), 0u);
    EXPECT_EQ (properties.productId, 17u);
    EXPECT_EQ (properties.firmwareVersion, 0x2b0u);
    EXPECT_EQ (TUSBAUDIO_GetDeviceUsbMode (handle, &mode), 0u);
    EXPECT_EQ (mode, 1u);

    // The snapshot still has two entries, but the first one's interface is gone.
    TUsbAudioHandle another = untouched;
    EXPECT_EQ (TUSBAUDIO_OpenDeviceByIndex (0, &another), statusNoSuchDevice);

    ASSERT_EQ (tool ({ "unplug" }), 0);
    uint32_t rate = untouched;
    EXPECT_EQ (TUSBAUDIO_GetDeviceUsbMode (handle, &mode), statusNoSuchDevice);
    EXPECT_EQ (TUSBAUDIO_GetCurrentSampleRate (handle, &rate), statusNoSuchDevice);
    EXPECT_EQ (rate, untouched);
    EXPECT_EQ (TUSBAUDIO_CloseDevice (handle), 0u) << "closing still releases the handle";
}

TEST_F (DriverApi, RecordsCarryTheStateAndZeroEveryOtherWord)
{
    ASSERT_EQ (tool ({ "set", "driver-version", "6.3" }), 0);
    enumerateAndCount();
    auto handle = openIndex (0);

    TUsbAudioDeviceProperties properties;
    std::memset (&properties, 0xaa, sizeof (properties));
    ASSERT_EQ (TUSBAUDIO_GetDeviceProperties (handle, &properties), 0u);
    EXPECT_EQ (properties.productId, 16u);
    EXPECT_EQ (properties.firmwareVersion, 0x1a2u);
    EXPECT_EQ (properties.reserved0, 0u);
    EXPECT_EQ (properties.reserved[256], 0u);

    TUsbAudioDriverInfo info;
    std::memset (&info, 0xaa, sizeof (info));
    ASSERT_EQ (TUSBAUDIO_GetDriverInfo (&info), 0u);
    EXPECT_EQ (info.versionMajor, 6u);
    EXPECT_EQ (info.versionMinor, 3u);
    EXPECT_EQ (info.reserved0 | info.reserved1 | info.reserved4 | info.reserved5, 0u);
    TUSBAUDIO_CloseDevice (handle);
}

TEST_F (DriverApi, StreamingModeTakesOnlyTheSixModesAndARefusalKeepsTheValue)
{
    for (uint32_t mode : { 1u, 2u, 4u, 8u, 16u, 32u })
    {
        ASSERT_EQ (TUSBAUDIO_SetUsbStreamingMode (mode), 0u) << mode;
        uint32_t readBack = untouched;
        EXPECT_EQ (TUSBAUDIO_GetUsbStreamingMode (&readBack), 0u);
        EXPECT_EQ (readBack, mode);
        EXPECT_EQ (state().streamingMode, mode) << "the setting lives in the state file";
    }

    for (uint32_t refused : { 0u, 3u, 5u, 33u, 64u, 0xffffffffu })
        EXPECT_EQ (TUSBAUDIO_SetUsbStreamingMode (refused), statusInvalidParameter) << refused;

    EXPECT_EQ (state().streamingMode, 32u);
}

TEST_F (DriverApi, AsioBufferSizeTakes16To8192AndARefusalKeepsTheValue)
{
    for (uint32_t size : { 16u, 8192u, 100u })
    {
        ASSERT_EQ (TUSBAUDIO_SetASIOBufferSize (size), 0u) << size;
        uint32_t readBack = untouched;
        EXPECT_EQ (TUSBAUDIO_GetASIOBufferSize (&readBack), 0u);
        EXPECT_EQ (readBack, size);
    }

    for (uint32_t refused : { 0u, 15u, 8193u, 0xffffffffu })
        EXPECT_EQ (TUSBAUDIO_SetASIOBufferSize (refused), statusInvalidParameter) << refused;

    EXPECT_EQ (state().asioBufferSize, 100u);
}

TEST_F (DriverApi, SampleRateComesThroughAHandleAndTheMinimumFromTheTable)
{
    ASSERT_EQ (tool ({ "set", "sample-rate", "96000" }), 0);
    enumerateAndCount();
    auto handle = openIndex (0);

    uint32_t rate = 0, minimum = 0;
    ASSERT_EQ (TUSBAUDIO_GetCurrentSampleRate (handle, &rate), 0u);
    EXPECT_EQ (rate, 96000u);
    ASSERT_EQ (TUSBAUDIO_GetMinimumASIOBufferSize (rate, &minimum), 0u);
    EXPECT_EQ (minimum, 128u);
    EXPECT_EQ (TUSBAUDIO_GetCurrentSampleRate (handle + 1000, &rate), statusInvalidHandle);

    ASSERT_EQ (tool ({ "set", "minimum-asio-buffer-size", "max", "4096" }), 0);
    ASSERT_EQ (TUSBAUDIO_GetMinimumASIOBufferSize (192000, &minimum), 0u);
    EXPECT_EQ (minimum, 4096u);
    TUSBAUDIO_CloseDevice (handle);
}

TEST_F (DriverApi, NullOutPointersFailInsteadOfCrashing)
{
    enumerateAndCount();
    auto handle = openIndex (0);

    EXPECT_EQ (TUSBAUDIO_OpenDeviceByIndex (0, nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetDeviceUsbMode (handle, nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetDeviceProperties (handle, nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetDriverInfo (nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetUsbStreamingMode (nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetASIOBufferSize (nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetCurrentSampleRate (handle, nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_GetMinimumASIOBufferSize (48000, nullptr), statusInvalidParameter);
    EXPECT_EQ (TUSBAUDIO_RegisterPnpNotification (nullptr, nullptr, nullptr, 1024, 0), statusInvalidParameter);
    TUSBAUDIO_CloseDevice (handle);
}

//==============================================================================
struct InjectedCase
{
    const char* function;
    // Calls the function with out-values preset to `untouched`; returns its status
    // and whether every out-value and every side effect stayed as it was.
    std::function<std::pair<uint32_t, bool> (TUsbAudioHandle openHandle)> call;
};

class InjectedFailure : public SimulatorTest, public ::testing::WithParamInterface<InjectedCase> {};

TEST_P (InjectedFailure, ReturnsTheGivenStatusWithoutEffectUntilHealed)
{
    auto& c = GetParam();
    enumerateAndCount();
    auto handle = openIndex (0);

    ASSERT_EQ (tool ({ "fail", c.function, "0x80000007" }), 0);
    auto [status, noEffect] = c.call (handle);
    EXPECT_EQ (status, 0x80000007u);
    EXPECT_TRUE (noEffect);

    ASSERT_EQ (tool ({ "heal", c.function }), 0);
    EXPECT_EQ (c.call (handle).first, 0u) << "healed";
    TUSBAUDIO_CloseDevice (handle);
    TUSBAUDIO_UnregisterPnpNotification();
}

INSTANTIATE_TEST_SUITE_P (EveryStatusFunction, InjectedFailure, ::testing::Values (
    InjectedCase { "TUSBAUDIO_EnumerateDevices", [] (TUsbAudioHandle)
    {
        // The snapshot taken before stays, although another interface is plugged now.
        runQuietly ({ "plug" });
        auto status = TUSBAUDIO_EnumerateDevices();
        auto count = TUSBAUDIO_GetDeviceCount();
        bool unchanged = status != 0 ? count == 1 : true;
        runQuietly ({ "unplug" });
        return std::make_pair (status, unchanged);
    } },
    InjectedCase { "TUSBAUDIO_OpenDeviceByIndex", [] (TUsbAudioHandle)
    {
        TUsbAudioHandle h = untouched;
        auto status = TUSBAUDIO_OpenDeviceByIndex (0, &h);
        if (status == 0) TUSBAUDIO_CloseDevice (h);
        return std::make_pair (status, h == untouched);
    } },
    InjectedCase { "TUSBAUDIO_CloseDevice", [] (TUsbAudioHandle h)
    {
        auto status = TUSBAUDIO_CloseDevice (h);
        uint32_t mode;
        bool stillOpen = TUSBAUDIO_GetDeviceUsbMode (h, &mode) == 0;
        return std::make_pair (status, stillOpen);
    } },
    InjectedCase { "TUSBAUDIO_GetDeviceUsbMode", [] (TUsbAudioHandle h)
    {
        uint32_t mode = untouched;
        auto status = TUSBAUDIO_GetDeviceUsbMode (h, &mode);
        return std::make_pair (status, mode == untouched);
    } },
    InjectedCase { "TUSBAUDIO_GetDeviceProperties", [] (TUsbAudioHandle h)
    {
        TUsbAudioDeviceProperties p;
        std::memset (&p, 0xef, sizeof (p));
        auto status = TUSBAUDIO_GetDeviceProperties (h, &p);
        return std::make_pair (status, p.productId == 0xefefefefu && p.firmwareVersion == 0xefefefefu);
    } },
    InjectedCase { "TUSBAUDIO_GetDriverInfo", [] (TUsbAudioHandle)
    {
        TUsbAudioDriverInfo info;
        std::memset (&info, 0xef, sizeof (info));
        auto status = TUSBAUDIO_GetDriverInfo (&info);
        return std::make_pair (status, info.versionMajor == 0xefefefefu && info.versionMinor == 0xefefefefu);
    } },
    InjectedCase { "TUSBAUDIO_RegisterPnpNotification", [] (TUsbAudioHandle)
    {
        auto status = TUSBAUDIO_RegisterPnpNotification (nullptr, nullptr, fakeWindow, 1024, 0);
        bool registered = TUSBAUDIO_UnregisterPnpNotification() == 0;
        return std::make_pair (status, ! registered);
    } },
    InjectedCase { "TUSBAUDIO_UnregisterPnpNotification", [] (TUsbAudioHandle)
    {
        TUSBAUDIO_RegisterPnpNotification (nullptr, nullptr, fakeWindow, 1024, 0);
        auto status = TUSBAUDIO_UnregisterPnpNotification();
        return std::make_pair (status, true);
    } },
    InjectedCase { "TUSBAUDIO_GetUsbStreamingMode", [] (TUsbAudioHandle)
    {
        uint32_t mode = untouched;
        auto status = TUSBAUDIO_GetUsbStreamingMode (&mode);
        return std::make_pair (status, mode == untouched);
    } },
    InjectedCase { "TUSBAUDIO_SetUsbStreamingMode", [] (TUsbAudioHandle)
    {
        auto status = TUSBAUDIO_SetUsbStreamingMode (8);
        uint32_t mode = 0;
        TUSBAUDIO_GetUsbStreamingMode (&mode);
        return std::make_pair (status, mode == 4);
    } },
    InjectedCase { "TUSBAUDIO_GetASIOBufferSize", [] (TUsbAudioHandle)
    {
        uint32_t size = untouched;
        auto status = TUSBAUDIO_GetASIOBufferSize (&size);
        return std::make_pair (status, size == untouched);
    } },
    InjectedCase { "TUSBAUDIO_SetASIOBufferSize", [] (TUsbAudioHandle)
    {
        auto status = TUSBAUDIO_SetASIOBufferSize (512);
        uint32_t size = 0;
        TUSBAUDIO_GetASIOBufferSize (&size);
        return std::make_pair (status, size == 256);
    } },
    InjectedCase { "TUSBAUDIO_GetCurrentSampleRate", [] (TUsbAudioHandle h)
    {
        uint32_t rate = untouched;
        auto status = TUSBAUDIO_GetCurrentSampleRate (h, &rate);
        return std::make_pair (status, rate == untouched);
    } },
    InjectedCase { "TUSBAUDIO_GetMinimumASIOBufferSize", [] (TUsbAudioHandle)
    {
        uint32_t minimum = untouched;
        auto status = TUSBAUDIO_GetMinimumASIOBufferSize (48000, &minimum);
        return std::make_pair (status, minimum == untouched);
    } }),
    [] (const ::testing::TestParamInfo<InjectedCase>& info) { return std::string (info.param.function).substr (10); });

TEST_F (DriverApi, AnInjectedDeviceCountIsReportedWhateverTheSnapshot)
{
    EXPECT_EQ (enumerateAndCount(), 1u);

    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_GetDeviceCount" }), 0);
    EXPECT_EQ (TUSBAUDIO_GetDeviceCount(), 0u);

    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_GetDeviceCount", "3" }), 0);
    EXPECT_EQ (enumerateAndCount(), 3u);

    TUsbAudioHandle handle = untouched;
    EXPECT_EQ (TUSBAUDIO_OpenDeviceByIndex (2, &handle), statusNoSuchDevice) << "opens still use the real snapshot";

    ASSERT_EQ (tool ({ "heal" }), 0);
    EXPECT_EQ (TUSBAUDIO_GetDeviceCount(), 1u);
}

//==============================================================================
TEST_F (DriverApi, AMissingStateFileIsTheDefaultState)
{
    ASSERT_FALSE (fs::exists (statePath));
    TUsbAudioDriverInfo info {};
    uint32_t mode = 0, size = 0, minimum = 0;

    EXPECT_EQ (enumerateAndCount(), 1u);
    ASSERT_EQ (TUSBAUDIO_GetDriverInfo (&info), 0u);
    ASSERT_EQ (TUSBAUDIO_GetUsbStreamingMode (&mode), 0u);
    ASSERT_EQ (TUSBAUDIO_GetASIOBufferSize (&size), 0u);
    ASSERT_EQ (TUSBAUDIO_GetMinimumASIOBufferSize (44100, &minimum), 0u);
    EXPECT_EQ (info.versionMajor * 100 + info.versionMinor, 512u);
    EXPECT_EQ (mode, 4u);
    EXPECT_EQ (size, 256u);
    EXPECT_EQ (minimum, 64u);

    auto handle = openIndex (0);
    uint32_t rate = 0;
    ASSERT_EQ (TUSBAUDIO_GetCurrentSampleRate (handle, &rate), 0u);
    EXPECT_EQ (rate, 48000u);
    TUSBAUDIO_CloseDevice (handle);
}

TEST_F (DriverApi, ACorruptStateFileReadsAsTheDefaultAndIsNeverOverwritten)
{
    ASSERT_EQ (tool ({ "plug" }), 0);
    ASSERT_EQ (tool ({ "set", "driver-version", "9.9" }), 0);
    const std::string corrupt = readFile (statePath).substr (0, 40) + "\ninterface banana\n";
    writeFile (statePath, corrupt);

    TUsbAudioDriverInfo info {};
    ASSERT_EQ (TUSBAUDIO_GetDriverInfo (&info), 0u);
    EXPECT_EQ (info.versionMajor, 5u);
    EXPECT_EQ (info.versionMinor, 12u);
    EXPECT_EQ (enumerateAndCount(), 1u);

    EXPECT_EQ (TUSBAUDIO_SetASIOBufferSize (512), statusStateNotWritable);
    EXPECT_EQ (TUSBAUDIO_SetUsbStreamingMode (8), statusStateNotWritable);
    EXPECT_EQ (readFile (statePath), corrupt);
}

TEST_F (DriverApi, EveryCallReadsTheStateFileNamedAtThatMoment)
{
    auto otherState = folder / "other.state";
    ASSERT_EQ (runQuietly ({ "--state", otherState.string(), "set", "driver-version", "1.2" }), 0);

    TUsbAudioDriverInfo info {};
    ASSERT_EQ (TUSBAUDIO_GetDriverInfo (&info), 0u);
    EXPECT_EQ (info.versionMajor, 5u);

    setEnvironment ("VESK2_SIM_STATE", otherState.string());
    ASSERT_EQ (TUSBAUDIO_GetDriverInfo (&info), 0u);
    EXPECT_EQ (info.versionMajor, 1u);
    EXPECT_EQ (info.versionMinor, 2u);
}

//==============================================================================
TEST_F (DriverApi, CallLogHasOneLinePerCallWithInArgumentsStatusAndOutValuesOnSuccess)
{
    ASSERT_EQ (tool ({ "set", "sample-rate", "96000" }), 0);
    auto windowNumber = std::to_string (reinterpret_cast<uintptr_t> (fakeWindow));
    auto before = microsecondsSinceEpoch();

    TUSBAUDIO_EnumerateDevices();
    TUSBAUDIO_GetDeviceCount();
    auto handle = openIndex (0);
    auto h = std::to_string (handle);
    TUsbAudioDeviceProperties properties;
    TUSBAUDIO_GetDeviceProperties (handle, &properties);
    uint32_t value;
    TUSBAUDIO_GetDeviceUsbMode (handle, &value);
    TUSBAUDIO_GetCurrentSampleRate (handle, &value);
    TUSBAUDIO_CloseDevice (handle);
    TUSBAUDIO_OpenDeviceByIndex (7, &handle);
    TUSBAUDIO_GetMinimumASIOBufferSize (96000, &value);
    TUsbAudioDriverInfo info;
    TUSBAUDIO_GetDriverInfo (&info);
    TUSBAUDIO_SetUsbStreamingMode (3);
    TUSBAUDIO_SetUsbStreamingMode (16);
    TUSBAUDIO_GetUsbStreamingMode (&value);
    TUSBAUDIO_SetASIOBufferSize (1024);
    TUSBAUDIO_GetASIOBufferSize (&value);
    TUSBAUDIO_RegisterPnpNotification (nullptr, nullptr, fakeWindow, 1024, 0);
    TUSBAUDIO_UnregisterPnpNotification();
    TUSBAUDIO_UnregisterPnpNotification();

    auto after = microsecondsSinceEpoch();
    std::vector<std::string> expected {
        "TUSBAUDIO_EnumerateDevices -> 0",
        "TUSBAUDIO_GetDeviceCount -> 1",
        "TUSBAUDIO_OpenDeviceByIndex 0 -> 0 handle=" + h,
        "TUSBAUDIO_GetDeviceProperties " + h + " -> 0 productId=16 firmware=1a2",
        "TUSBAUDIO_GetDeviceUsbMode " + h + " -> 0 mode=0",
        "TUSBAUDIO_GetCurrentSampleRate " + h + " -> 0 rate=96000",
        "TUSBAUDIO_CloseDevice " + h + " -> 0",
        "TUSBAUDIO_OpenDeviceByIndex 7 -> " + std::to_string (statusNoSuchDevice),
        "TUSBAUDIO_GetMinimumASIOBufferSize 96000 -> 0 minimum=128",
        "TUSBAUDIO_GetDriverInfo -> 0 major=5 minor=12",
        "TUSBAUDIO_SetUsbStreamingMode 3 -> " + std::to_string (statusInvalidParameter),
        "TUSBAUDIO_SetUsbStreamingMode 16 -> 0",
        "TUSBAUDIO_GetUsbStreamingMode -> 0 mode=16",
        "TUSBAUDIO_SetASIOBufferSize 1024 -> 0",
        "TUSBAUDIO_GetASIOBufferSize -> 0 size=1024",
        "TUSBAUDIO_RegisterPnpNotification 0 0 " + windowNumber + " 1024 0 -> 0",
        "TUSBAUDIO_UnregisterPnpNotification -> 0",
        "TUSBAUDIO_UnregisterPnpNotification -> " + std::to_string (statusNotRegistered)
    };

    EXPECT_EQ (loggedCalls(), expected);

    uint64_t previous = before;

    for (auto& line : logLines())
    {
        ASSERT_TRUE (std::regex_search (line, std::regex ("^[0-9]{16} "))) << line;
        auto micros = std::stoull (line.substr (0, line.find (' ')));
        EXPECT_GE (micros, previous);
        EXPECT_LE (micros, after);
        previous = micros;
    }
}

TEST_F (DriverApi, WithoutALogVariableNothingIsLogged)
{
    setEnvironment ("VESK2_SIM_LOG", "");
    EXPECT_EQ (TUSBAUDIO_EnumerateDevices(), 0u);
    EXPECT_FALSE (fs::exists (logPath));
}
