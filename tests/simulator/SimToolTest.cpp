#include "SimTestSupport.h"

using namespace simtest;
using namespace vesk2sim;

class SimTool : public SimulatorTest {};

TEST_F (SimTool, PlugPrintsTheNewIndexAndUnplugMovesLaterIndexesDown)
{
    std::string output;

    ASSERT_EQ (tool ({ "plug", "--product-id", "17" }, &output), toolSuccess);
    EXPECT_EQ (output, "1\n");
    ASSERT_EQ (tool ({ "plug", "--firmware", "0xABC", "--usb-mode", "2" }, &output), toolSuccess);
    EXPECT_EQ (output, "2\n");

    ASSERT_EQ (tool ({ "unplug", "0" }, &output), toolSuccess);
    EXPECT_EQ (output, "unplugged interface 0 (serial 1)\n");

    auto s = state();
    ASSERT_EQ (s.interfaces.size(), 2u);
    EXPECT_EQ (s.interfaces[0], (SimInterface { 2, 17, 0x1a2, 0 }));
    EXPECT_EQ (s.interfaces[1], (SimInterface { 3, 16, 0xabc, 2 }));

    ASSERT_EQ (tool ({ "unplug" }, &output), toolSuccess);
    EXPECT_EQ (output, "unplugged interface 1 (serial 3)\n") << "the last one by default";
}

TEST_F (SimTool, SerialsAreNeverReusedNotEvenAfterAReset)
{
    ASSERT_EQ (tool ({ "unplug" }), toolSuccess);
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    EXPECT_EQ (state().interfaces.at (0).serial, 2u);

    ASSERT_EQ (tool ({ "set", "asio-buffer-size", "1000" }), toolSuccess);
    ASSERT_EQ (tool ({ "reset" }), toolSuccess);

    auto s = state();
    ASSERT_EQ (s.interfaces.size(), 1u);
    EXPECT_EQ (s.interfaces[0].serial, 3u);
    EXPECT_EQ (s.asioBufferSize, 256u);
    s.interfaces[0].serial = 1;
    s.nextSerial = 2;
    EXPECT_EQ (s, SimState::makeDefault()) << "apart from the serial, reset gives the default state";
}

TEST_F (SimTool, SetStoresEvenValuesTheDriverWouldRefuse)
{
    ASSERT_EQ (tool ({ "set", "streaming-mode", "3" }), toolSuccess);
    ASSERT_EQ (tool ({ "set", "asio-buffer-size", "4294967295" }), toolSuccess);
    ASSERT_EQ (tool ({ "set", "sample-rate", "0" }), toolSuccess);
    ASSERT_EQ (tool ({ "set", "driver-version", "0.0" }), toolSuccess);
    ASSERT_EQ (tool ({ "set", "minimum-asio-buffer-size", "22050", "8" }), toolSuccess);

    auto s = state();
    EXPECT_EQ (s.streamingMode, 3u);
    EXPECT_EQ (s.asioBufferSize, 4294967295u);
    EXPECT_EQ (s.sampleRate, 0u);
    EXPECT_EQ (s.driverMajor + s.driverMinor, 0u);
    EXPECT_EQ (s.minimumBufferSizeFor (22050), 8u);
}

TEST_F (SimTool, FailAndHealTrackEachFunctionSeparately)
{
    std::string output;

    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_CloseDevice" }), toolSuccess);
    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_GetDriverInfo", "0x10" }), toolSuccess);
    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_GetDeviceCount" }, &output), toolSuccess);
    EXPECT_EQ (output, "TUSBAUDIO_GetDeviceCount now reports 0 devices\n");

    std::map<std::string, uint32_t> expected { { "TUSBAUDIO_CloseDevice", 1 },
                                               { "TUSBAUDIO_GetDriverInfo", 16 },
                                               { "TUSBAUDIO_GetDeviceCount", 0 } };
    EXPECT_EQ (state().failures, expected);

    ASSERT_EQ (tool ({ "heal", "TUSBAUDIO_CloseDevice" }), toolSuccess);
    expected.erase ("TUSBAUDIO_CloseDevice");
    EXPECT_EQ (state().failures, expected);

    ASSERT_EQ (tool ({ "heal" }, &output), toolSuccess);
    EXPECT_EQ (output, "healed 2 injected failures\n");
    EXPECT_TRUE (state().failures.empty());
}

struct BadCommandLine
{
    std::vector<std::string> arguments;
    const char* errorMentions;
};

class SimToolRejects : public SimulatorTest, public ::testing::WithParamInterface<BadCommandLine> {};

TEST_P (SimToolRejects, WithExitCode1AndLeavesTheStateAlone)
{
    ASSERT_EQ (tool ({ "plug" }), toolSuccess);
    auto before = readFile (statePath);
    std::string output, errors;

    EXPECT_EQ (tool (GetParam().arguments, &output, &errors), toolBadUsage);
    EXPECT_EQ (output, "");
    EXPECT_NE (errors.find (GetParam().errorMentions), std::string::npos) << errors;
    EXPECT_EQ (readFile (statePath), before);
}

INSTANTIATE_TEST_SUITE_P (BadInput, SimToolRejects, ::testing::Values (
    BadCommandLine { {}, "no command" },
    BadCommandLine { { "explode" }, "unknown command \"explode\"" },
    BadCommandLine { { "--verbose", "show" }, "unknown option" },
    BadCommandLine { { "plug", "--product-id" }, "needs a value" },
    BadCommandLine { { "plug", "--product-id", "16x" }, "\"16x\"" },
    BadCommandLine { { "plug", "--product-id", "-1" }, "\"-1\"" },
    BadCommandLine { { "plug", "--product-id", "4294967296" }, "\"4294967296\"" },
    BadCommandLine { { "plug", "--firmware", "0x" }, "hexadecimal" },
    BadCommandLine { { "plug", "--firmware", "123456789" }, "hexadecimal" },
    BadCommandLine { { "plug", "--usb-mode", "1", "--usb-mode", "2" }, "twice" },
    BadCommandLine { { "plug", "--colour", "red" }, "unknown option" },
    BadCommandLine { { "unplug", "2" }, "no interface 2" },
    BadCommandLine { { "unplug", "0", "1" }, "at most one" },
    BadCommandLine { { "unplug", " 1" }, "\" 1\"" },
    BadCommandLine { { "set" }, "needs a setting" },
    BadCommandLine { { "set", "volume", "11" }, "unknown setting" },
    BadCommandLine { { "set", "sample-rate" }, "exactly one value" },
    BadCommandLine { { "set", "sample-rate", "48000.0" }, "\"48000.0\"" },
    BadCommandLine { { "set", "sample-rate", "" }, "\"\"" },
    BadCommandLine { { "set", "asio-buffer-size", "0x100" }, "\"0x100\"" },
    BadCommandLine { { "set", "driver-version", "5" }, "MAJOR.MINOR" },
    BadCommandLine { { "set", "driver-version", "5.4294967296" }, "MAJOR.MINOR" },
    BadCommandLine { { "set", "minimum-asio-buffer-size", "max" }, "RATE" },
    BadCommandLine { { "set", "minimum-asio-buffer-size", "any", "64" }, "\"any\"" },
    BadCommandLine { { "fail" }, "FUNCTION" },
    BadCommandLine { { "fail", "TUSBAUDIO_Explode" }, "not one of the 15" },
    BadCommandLine { { "fail", "tusbaudio_closedevice" }, "not one of the 15" },
    BadCommandLine { { "fail", "TUSBAUDIO_CloseDevice", "0" }, "status 0" },
    BadCommandLine { { "fail", "TUSBAUDIO_CloseDevice", "0x100000000" }, "32-bit" },
    BadCommandLine { { "fail", "TUSBAUDIO_GetDeviceCount", "0x3" }, "32-bit count" },
    BadCommandLine { { "heal", "TUSBAUDIO_Explode" }, "not one of the 15" },
    BadCommandLine { { "show", "all" }, "takes no arguments" },
    BadCommandLine { { "reset", "now" }, "takes no arguments" }
));

TEST_F (SimTool, UnplugWithNothingConnectedIsAnError)
{
    ASSERT_EQ (tool ({ "unplug" }), toolSuccess);
    std::string errors;
    EXPECT_EQ (tool ({ "unplug" }, nullptr, &errors), toolBadUsage);
    EXPECT_NE (errors.find ("no interface is plugged in"), std::string::npos) << errors;
}

TEST_F (SimTool, ACorruptStateFileStopsEveryCommandButResetAndIsLeftAsItWas)
{
    const std::string corrupt = "vesk2-sim-state 1\nstreaming-mode four\n";
    writeFile (statePath, corrupt);

    for (auto command : std::vector<std::vector<std::string>> { { "show" }, { "plug" }, { "unplug" },
                                                                 { "set", "sample-rate", "1" },
                                                                 { "fail", "TUSBAUDIO_CloseDevice" }, { "heal" } })
    {
        std::string errors;
        EXPECT_EQ (tool (command, nullptr, &errors), toolStateUnreadable) << command[0];
        EXPECT_NE (errors.find (statePath.string() + ": line 2"), std::string::npos) << errors;
        EXPECT_NE (errors.find ("reset"), std::string::npos) << "the message says how to get out";
        EXPECT_EQ (readFile (statePath), corrupt);
    }

    ASSERT_EQ (tool ({ "reset" }), toolSuccess);
    EXPECT_EQ (state(), SimState::makeDefault());
}

TEST_F (SimTool, ShowDescribesEveryPartOfTheState)
{
    ASSERT_EQ (tool ({ "plug", "--product-id", "17", "--firmware", "2b0", "--usb-mode", "1" }), toolSuccess);
    ASSERT_EQ (tool ({ "fail", "TUSBAUDIO_SetASIOBufferSize", "5" }), toolSuccess);
    std::string output;
    ASSERT_EQ (tool ({ "show" }, &output), toolSuccess);

    for (auto expected : { "driver version: 5.12\n", "USB streaming mode: 4\n", "ASIO buffer size: 256\n",
                           "sample rate: 48000 Hz\n",
                           "minimum ASIO buffer size: 64 up to 48000 Hz, 128 up to 96000 Hz, 256 above\n",
                           "interfaces: 2\n", "  0: serial 1, product id 16, firmware 1a2, USB mode 0\n",
                           "  1: serial 2, product id 17, firmware 2b0, USB mode 1\n",
                           "  TUSBAUDIO_SetASIOBufferSize returns 5\n" })
        EXPECT_NE (output.find (expected), std::string::npos) << expected << "\nin:\n" << output;
}

TEST_F (SimTool, TheStateOptionWinsOverTheEnvironment)
{
    auto elsewhere = folder / "elsewhere.state";
    ASSERT_EQ (runQuietly ({ "--state=" + elsewhere.string(), "unplug" }), toolSuccess);

    EXPECT_FALSE (fs::exists (statePath));
    ASSERT_TRUE (fs::exists (elsewhere));
    EXPECT_EQ (runQuietly ({ "unplug" }), toolSuccess) << "the environment's file still has its default interface";
}

TEST_F (SimTool, TheExecutableReportsThroughItsExitCode)
{
    auto output = folder / "output.txt";

    EXPECT_EQ (runToolProcess ("--help", output), toolSuccess);
    EXPECT_EQ (readFile (output).rfind ("usage: vesk2-sim", 0), 0u);

    EXPECT_EQ (runToolProcess ("plug", output), toolSuccess);
    EXPECT_EQ (readFile (output), "1\n");

    EXPECT_EQ (runToolProcess ("set sample-rate 44.1", output), toolBadUsage);

    writeFile (statePath, "garbage\n");
    EXPECT_EQ (runToolProcess ("show", output), toolStateUnreadable);
    EXPECT_NE (readFile (output).find ("not a vesk2-sim state file"), std::string::npos);
}
