#include "simulator/SimStateParser.h"

#include <set>
#include <sstream>
#include <vector>

namespace vesk2sim
{

namespace
{
    constexpr std::string_view headerKey = "vesk2-sim-state";
    constexpr std::string_view formatVersion = "1";

    std::optional<uint32_t> parseDigits (std::string_view text, uint32_t base)
    {
        if (text.empty())
            return std::nullopt;

        uint64_t value = 0;

        for (char c : text)
        {
            uint32_t digit;

            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t> (c - '0');
            else if (base == 16 && c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t> (c - 'a' + 10);
            else if (base == 16 && c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t> (c - 'A' + 10);
            else
                return std::nullopt;

            value = value * base + digit;

            if (value > 0xffffffffull)
                return std::nullopt;
        }

        return static_cast<uint32_t> (value);
    }

    std::vector<std::string_view> splitWords (std::string_view line)
    {
        std::vector<std::string_view> words;
        size_t i = 0;

        while (i < line.size())
        {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;

            auto start = i;

            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                ++i;

            if (i > start)
                words.push_back (line.substr (start, i - start));
        }

        return words;
    }

    // Reads the lines of one file; the first error found wins.
    class Reader
    {
    public:
        ParseResult run (std::string_view text)
        {
            size_t lineStart = 0;

            while (lineStart <= text.size() && error.empty())
            {
                auto lineEnd = text.find ('\n', lineStart);

                if (lineEnd == std::string_view::npos)
                    lineEnd = text.size();

                auto line = text.substr (lineStart, lineEnd - lineStart);

                if (! line.empty() && line.back() == '\r')
                    line.remove_suffix (1);

                ++lineNumber;
                readLine (line);
                lineStart = lineEnd + 1;
            }

            if (error.empty() && ! sawHeader)
                error = "not a vesk2-sim state file: the first line must be \"vesk2-sim-state 1\"";

            if (error.empty())
                finish();

            ParseResult result;

            if (error.empty())
                result.state = std::move (state);
            else
                result.error = std::move (error);

            return result;
        }

    private:
        SimState state = SimState::makeDefault();
        std::string error;
        int lineNumber = 0;
        bool sawHeader = false;
        bool sawNextSerial = false;
        std::set<std::string, std::less<>> settingsSeen;
        std::set<uint32_t> serials;
        std::vector<MinimumBufferRow> rows;
        std::vector<SimInterface> interfaces;

        void fail (const std::string& message)
        {
            if (error.empty())
                error = "line " + std::to_string (lineNumber) + ": " + message;
        }

        void readLine (std::string_view line)
        {
            auto words = splitWords (line);

            if (words.empty() || words[0][0] == '#')
                return;

            auto key = words[0];

            if (! sawHeader)
            {
                if (key != headerKey)
                    return fail ("not a vesk2-sim state file: expected \"vesk2-sim-state 1\" first, found "
                                 + quoteForMessage (line));

                if (words.size() != 2 || words[1] != formatVersion)
                    return fail ("unsupported state file version " + quoteForMessage (line));

                sawHeader = true;
                return;
            }

            if (key == "interface")
                return readInterface (words);

            if (key == "fail")
                return readFailure (words);

            if (key == "minimum-asio-buffer-size")
                return readMinimumRow (words);

            if (key == headerKey)
                return fail ("a second header line");

            if (key != "driver-version" && key != "streaming-mode" && key != "asio-buffer-size"
                && key != "sample-rate" && key != "next-serial")
                return fail ("unknown setting " + quoteForMessage (key));

            if (! settingsSeen.insert (std::string (key)).second)
                return fail (quoteForMessage (key) + " is given twice");

            if (words.size() != 2)
                return fail (quoteForMessage (key) + " takes exactly one value");

            if (key == "driver-version")
                return readDriverVersion (words[1]);

            auto value = number (words[1], key);

            if (! value)
                return;

            if (key == "streaming-mode")
                state.streamingMode = *value;
            else if (key == "asio-buffer-size")
                state.asioBufferSize = *value;
            else if (key == "sample-rate")
                state.sampleRate = *value;
            else
            {
                state.nextSerial = *value;
                sawNextSerial = true;
            }
        }

        std::optional<uint32_t> number (std::string_view text, std::string_view what)
        {
            auto value = parseDecimal32 (text);

            if (! value)
                fail (quoteForMessage (what) + ": " + quoteForMessage (text)
                      + " is not a whole number from 0 to 4294967295");

            return value;
        }

        void readDriverVersion (std::string_view text)
        {
            auto dot = text.find ('.');
            std::optional<uint32_t> major, minor;

            if (dot != std::string_view::npos)
            {
                major = parseDecimal32 (text.substr (0, dot));
                minor = parseDecimal32 (text.substr (dot + 1));
            }

            if (! major || ! minor)
                return fail ("driver-version: " + quoteForMessage (text) + " is not MAJOR.MINOR");

            state.driverMajor = *major;
            state.driverMinor = *minor;
        }

        void readInterface (const std::vector<std::string_view>& words)
        {
            if (words.size() != 5)
                return fail ("an interface line is \"interface SERIAL product-id=N firmware=HEX usb-mode=N\"");

            auto serial = number (words[1], "interface serial");

            if (! serial)
                return;

            if (*serial == 0)
                return fail ("interface serial 0: serials start at 1");

            if (! serials.insert (*serial).second)
                return fail ("interface serial " + std::to_string (*serial) + " is given twice");

            SimInterface interface;
            interface.serial = *serial;
            bool seenProduct = false, seenFirmware = false, seenMode = false;

            for (size_t i = 2; i < words.size(); ++i)
            {
                auto word = words[i];
                auto equals = word.find ('=');

                if (equals == std::string_view::npos)
                    return fail ("interface: expected KEY=VALUE, found " + quoteForMessage (word));

                auto name = word.substr (0, equals);
                auto text = word.substr (equals + 1);
                bool* seen = nullptr;
                uint32_t* field = nullptr;
                std::optional<uint32_t> value;

                if (name == "product-id")
                {
                    seen = &seenProduct;
                    field = &interface.productId;
                    value = parseDecimal32 (text);
                }
                else if (name == "firmware")
                {
                    seen = &seenFirmware;
                    field = &interface.firmware;
                    value = parseHex32 (text);
                }
                else if (name == "usb-mode")
                {
                    seen = &seenMode;
                    field = &interface.usbMode;
                    value = parseDecimal32 (text);
                }
                else
                {
                    return fail ("interface: unknown field " + quoteForMessage (name));
                }

                if (*seen)
                    return fail ("interface: " + quoteForMessage (name) + " is given twice");

                if (! value)
                    return fail ("interface: " + quoteForMessage (word) + " does not hold a 32-bit "
                                 + (name == "firmware" ? "hexadecimal" : "decimal") + " number");

                *seen = true;
                *field = *value;
            }

            interfaces.push_back (interface);
        }

        void readFailure (const std::vector<std::string_view>& words)
        {
            if (words.size() != 3)
                return fail ("a failure line is \"fail FUNCTION STATUS\"");

            if (! isDriverFunctionName (words[1]))
                return fail ("fail: unknown driver function " + quoteForMessage (words[1]));

            std::string name (words[1]);

            if (state.failures.count (name) != 0)
                return fail ("fail: " + name + " is given twice");

            auto status = number (words[2], "fail status");

            if (! status)
                return;

            if (*status == 0 && name != deviceCountFunctionName)
                return fail ("fail: status 0 is success, not a failure");

            state.failures[name] = *status;
        }

        void readMinimumRow (const std::vector<std::string_view>& words)
        {
            if (words.size() != 3)
                return fail ("a table line is \"minimum-asio-buffer-size RATE|max SIZE\"");

            MinimumBufferRow row;

            if (words[1] == "max")
            {
                row.unbounded = true;
            }
            else
            {
                auto rate = number (words[1], "minimum-asio-buffer-size rate");

                if (! rate)
                    return;

                row.upToRate = *rate;
            }

            auto size = number (words[2], "minimum-asio-buffer-size size");

            if (! size)
                return;

            row.minimumSize = *size;

            if (! rows.empty())
            {
                auto& last = rows.back();

                if (last.unbounded)
                    return fail ("minimum-asio-buffer-size: no row may follow the \"max\" row");

                if (! row.unbounded && row.upToRate <= last.upToRate)
                    return fail ("minimum-asio-buffer-size: rates must rise from row to row");
            }

            rows.push_back (row);
        }

        void finish()
        {
            state.interfaces = interfaces;

            if (! rows.empty())
                state.minimumBufferSizes = rows;

            uint32_t highestSerial = serials.empty() ? 0 : *serials.rbegin();

            if (! sawNextSerial)
            {
                if (highestSerial == 0xffffffffu)
                    error = "interface serial 4294967295 leaves no serial for the next interface";
                else
                    state.nextSerial = highestSerial + 1;
            }
            else if (state.nextSerial <= highestSerial)
            {
                error = "next-serial " + std::to_string (state.nextSerial)
                      + " must be greater than every interface serial (" + std::to_string (highestSerial) + ")";
            }
        }
    };
}

ParseResult parse (std::string_view text)
{
    try
    {
        return Reader().run (text);
    }
    catch (const std::exception&)
    {
        // Only allocation can throw here; a state too large to hold is not a state.
        ParseResult result;
        result.error = "the state file is too large to read";
        return result;
    }
}

std::string format (const SimState& state)
{
    std::ostringstream out;
    out << headerKey << ' ' << formatVersion << '\n'
        << "# Written by vesk2-sim and the simulated driver; change it with vesk2-sim.\n"
        << "driver-version " << state.driverMajor << '.' << state.driverMinor << '\n'
        << "streaming-mode " << state.streamingMode << '\n'
        << "asio-buffer-size " << state.asioBufferSize << '\n'
        << "sample-rate " << state.sampleRate << '\n';

    for (auto& row : state.minimumBufferSizes)
    {
        out << "minimum-asio-buffer-size ";

        if (row.unbounded)
            out << "max";
        else
            out << row.upToRate;

        out << ' ' << row.minimumSize << '\n';
    }

    out << "next-serial " << state.nextSerial << '\n';

    for (auto& i : state.interfaces)
        out << "interface " << i.serial << " product-id=" << i.productId << " firmware=" << toHex (i.firmware)
            << " usb-mode=" << i.usbMode << '\n';

    for (auto& [name, status] : state.failures)
        out << "fail " << name << ' ' << status << '\n';

    return out.str();
}

std::optional<uint32_t> parseDecimal32 (std::string_view text)
{
    return parseDigits (text, 10);
}

std::optional<uint32_t> parseHex32 (std::string_view text)
{
    return parseDigits (text, 16);
}

std::string toHex (uint32_t value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;

    do
    {
        text.insert (text.begin(), digits[value & 0xf]);
        value >>= 4;
    }
    while (value != 0);

    return text;
}

std::string quoteForMessage (std::string_view text)
{
    constexpr size_t longest = 40;
    std::string quoted = "\"";

    for (size_t i = 0; i < text.size() && i < longest; ++i)
    {
        auto c = static_cast<unsigned char> (text[i]);
        quoted += (c >= 0x20 && c < 0x7f) ? static_cast<char> (c) : '?';
    }

    if (text.size() > longest)
        quoted += "...";

    return quoted + "\"";
}

} // namespace vesk2sim
