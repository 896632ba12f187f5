#include "simulator/SimStateParser.h"

#include <gtest/gtest.h>

using namespace vesk2sim;

namespace
{
    const char* const header = "vesk2-sim-state 1\n";
}

TEST (SimStateParser, WrittenStateReadsBackEqual)
{
    auto state = SimState::makeDefault();
    state.plug (17, 0xffffffffu, 1);
    state.driverMajor = 4294967295u;
    state.sampleRate = 0;
    state.failures["TUSBAUDIO_GetDeviceCount"] = 0;
    state.failures["TUSBAUDIO_CloseDevice"] = 0x80000000u;
    state.setMinimumBufferSize ({ false, 192000, 512 });

    auto parsed = parse (format (state));

    ASSERT_TRUE (parsed.state.has_value()) << parsed.error;
    EXPECT_EQ (*parsed.state, state);
}

TEST (SimStateParser, LeftOutSettingsKeepTheirDefaultsButInterfacesAreOnlyThoseListed)
{
    auto parsed = parse (std::string ("# hand-written\n\n") + header + "asio-buffer-size 512\r\n");

    ASSERT_TRUE (parsed.state.has_value()) << parsed.error;
    auto expected = SimState::makeDefault();
    expected.asioBufferSize = 512;
    expected.interfaces.clear();
    expected.nextSerial = 1;
    EXPECT_EQ (*parsed.state, expected);
}

TEST (SimStateParser, NextSerialDefaultsToOneAboveTheHighestSerial)
{
    auto parsed = parse (std::string (header)
                         + "interface 7 product-id=16 firmware=1A2 usb-mode=0\n"
                         + "interface 3 usb-mode=2 firmware=0 product-id=1\n");

    ASSERT_TRUE (parsed.state.has_value()) << parsed.error;
    ASSERT_EQ (parsed.state->interfaces.size(), 2u);
    EXPECT_EQ (parsed.state->interfaces[0].firmware, 0x1a2u);
    EXPECT_EQ (parsed.state->interfaces[1].usbMode, 2u);
    EXPECT_EQ (parsed.state->nextSerial, 8u);
}

struct RejectedText
{
    const char* what;
    std::string text;
    const char* errorMentions;
};

class SimStateParserRejects : public ::testing::TestWithParam<RejectedText> {};

TEST_P (SimStateParserRejects, WithAClearErrorNamingTheLine)
{
    auto& c = GetParam();
    auto parsed = parse (c.text);

    EXPECT_FALSE (parsed.state.has_value());
    EXPECT_NE (parsed.error.find (c.errorMentions), std::string::npos) << c.what << ": " << parsed.error;
}

INSTANTIATE_TEST_SUITE_P (BadFiles, SimStateParserRejects, ::testing::Values (
    RejectedText { "empty", "", "vesk2-sim-state 1" },
    RejectedText { "no header", "driver-version 5.12\n", "line 1" },
    RejectedText { "future version", "vesk2-sim-state 2\n", "version" },
    RejectedText { "second header", std::string (header) + header, "second header" },
    RejectedText { "unknown key", std::string (header) + "colour blue\n", "line 2: unknown setting \"colour\"" },
    RejectedText { "repeated setting", std::string (header) + "sample-rate 1\nsample-rate 2\n", "line 3" },
    RejectedText { "missing value", std::string (header) + "sample-rate\n", "exactly one value" },
    RejectedText { "extra value", std::string (header) + "sample-rate 1 2\n", "exactly one value" },
    RejectedText { "33-bit number", std::string (header) + "asio-buffer-size 4294967296\n", "4294967296" },
    RejectedText { "sign", std::string (header) + "asio-buffer-size -1\n", "\"-1\"" },
    RejectedText { "plus sign", std::string (header) + "asio-buffer-size +1\n", "\"+1\"" },
    RejectedText { "trailing junk", std::string (header) + "streaming-mode 4x\n", "\"4x\"" },
    RejectedText { "hex where decimal", std::string (header) + "streaming-mode 0x4\n", "\"0x4\"" },
    RejectedText { "version without dot", std::string (header) + "driver-version 5\n", "MAJOR.MINOR" },
    RejectedText { "version with two dots", std::string (header) + "driver-version 5.1.2\n", "MAJOR.MINOR" },
    RejectedText { "version without minor", std::string (header) + "driver-version 5.\n", "MAJOR.MINOR" },
    RejectedText { "duplicate serial", std::string (header)
                       + "interface 1 product-id=16 firmware=1 usb-mode=0\n"
                       + "interface 1 product-id=16 firmware=1 usb-mode=0\n", "line 3: interface serial 1 is given twice" },
    RejectedText { "serial 0", std::string (header) + "interface 0 product-id=16 firmware=1 usb-mode=0\n", "serial 0" },
    RejectedText { "interface field missing", std::string (header) + "interface 1 product-id=16 firmware=1\n", "interface SERIAL" },
    RejectedText { "interface field twice", std::string (header) + "interface 1 product-id=16 product-id=16 usb-mode=0\n", "twice" },
    RejectedText { "interface unknown field", std::string (header) + "interface 1 product-id=16 colour=1 usb-mode=0\n", "\"colour\"" },
    RejectedText { "firmware over 32 bits", std::string (header) + "interface 1 product-id=16 firmware=100000000 usb-mode=0\n", "hexadecimal" },
    RejectedText { "firmware not hex", std::string (header) + "interface 1 product-id=16 firmware=zz usb-mode=0\n", "hexadecimal" },
    RejectedText { "next serial taken", std::string (header) + "next-serial 2\ninterface 2 product-id=16 firmware=1 usb-mode=0\n", "next-serial 2" },
    RejectedText { "no serial left", std::string (header) + "interface 4294967295 product-id=16 firmware=1 usb-mode=0\n", "no serial" },
    RejectedText { "unknown function", std::string (header) + "fail TUSBAUDIO_Explode 1\n", "unknown driver function" },
    RejectedText { "function name case", std::string (header) + "fail tusbaudio_closedevice 1\n", "unknown driver function" },
    RejectedText { "failure with status 0", std::string (header) + "fail TUSBAUDIO_CloseDevice 0\n", "status 0" },
    RejectedText { "failure without status", std::string (header) + "fail TUSBAUDIO_CloseDevice\n", "fail FUNCTION STATUS" },
    RejectedText { "failure twice", std::string (header) + "fail TUSBAUDIO_CloseDevice 1\nfail TUSBAUDIO_CloseDevice 2\n", "twice" },
    RejectedText { "rates falling", std::string (header) + "minimum-asio-buffer-size 96000 128\nminimum-asio-buffer-size 48000 64\n", "rise" },
    RejectedText { "row after max", std::string (header) + "minimum-asio-buffer-size max 128\nminimum-asio-buffer-size 48000 64\n", "max" },
    RejectedText { "binary junk", std::string (header) + std::string ("\x01\xff\0zz", 5) + "\n", "unknown setting \"??" }
));

TEST (SimStateParser, ErrorMessagesQuoteAtMostFortyCharacters)
{
    auto parsed = parse (std::string (header) + std::string (5000, 'k') + "\n");

    ASSERT_FALSE (parsed.state.has_value());
    EXPECT_LT (parsed.error.size(), 120u) << parsed.error;
}

TEST (SimStateParser, MinimumBufferSizeComesFromTheFirstRowCoveringTheRate)
{
    auto state = SimState::makeDefault();

    EXPECT_EQ (state.minimumBufferSizeFor (0), 64u);
    EXPECT_EQ (state.minimumBufferSizeFor (48000), 64u);
    EXPECT_EQ (state.minimumBufferSizeFor (48001), 128u);
    EXPECT_EQ (state.minimumBufferSizeFor (96000), 128u);
    EXPECT_EQ (state.minimumBufferSizeFor (4294967295u), 256u);

    auto parsed = parse (std::string (header) + "minimum-asio-buffer-size 44100 32\n");
    ASSERT_TRUE (parsed.state.has_value()) << parsed.error;
    EXPECT_EQ (parsed.state->minimumBufferSizeFor (44100), 32u);
    EXPECT_FALSE (parsed.state->minimumBufferSizeFor (48000).has_value()) << "a table without a max row knows no higher rate";
}

TEST (SimStateParser, SettingARowReplacesItsBoundOrSlotsInByRate)
{
    auto state = SimState::makeDefault();
    state.setMinimumBufferSize ({ false, 96000, 100 });
    state.setMinimumBufferSize ({ false, 44100, 16 });
    state.setMinimumBufferSize ({ true, 0, 1024 });

    std::vector<MinimumBufferRow> expected { { false, 44100, 16 }, { false, 48000, 64 },
                                             { false, 96000, 100 }, { true, 0, 1024 } };
    EXPECT_EQ (state.minimumBufferSizes, expected);
}

TEST (SimStateParser, StrictNumbersRefuseEverythingButDigitsThatFit)
{
    EXPECT_EQ (parseDecimal32 ("4294967295"), 4294967295u);
    EXPECT_EQ (parseDecimal32 ("007"), 7u);
    EXPECT_EQ (parseHex32 ("FFFFffff"), 0xffffffffu);

    for (auto bad : { "", " 1", "1 ", "4294967296", "99999999999999999999", "1e3", "0x10", "-0", "١" })
        EXPECT_FALSE (parseDecimal32 (bad).has_value()) << bad;

    for (auto bad : { "", "100000000", "0x1", "g", "1 " })
        EXPECT_FALSE (parseHex32 (bad).has_value()) << bad;
}
