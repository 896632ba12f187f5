#include "simulator/SimTool.h"

#include "simulator/SimStateParser.h"
#include "simulator/StateStore.h"

#include <optional>
#include <string_view>

namespace vesk2sim
{

const char* toolUsage()
{
    return
R"(usage: vesk2-sim [--state FILE] COMMAND [ARGUMENTS]

Changes what the simulated Vesk 2 driver reports to every program using it.

Commands:
  plug [--product-id N] [--firmware HEX] [--usb-mode N]
                          connect an interface at the next index and print that
                          index (defaults: product id 16, firmware 1a2, USB mode 0)
  unplug [INDEX]          disconnect an interface, the last one by default;
                          the ones after it move down an index
  set driver-version MAJOR.MINOR
  set streaming-mode N
  set asio-buffer-size N
  set sample-rate HZ
  set minimum-asio-buffer-size RATE|max N
                          the smallest ASIO buffer size for rates up to RATE
                          ("max": for every rate above the other rows)
                          set takes values the driver itself would refuse
  fail FUNCTION [STATUS]  make a TUSBAUDIO_* function return STATUS (default 1)
                          until healed, leaving its out-values untouched;
                          "fail TUSBAUDIO_GetDeviceCount [N]" makes it report
                          N devices (default 0) whatever was enumerated
  heal [FUNCTION]         undo one injected failure, or all of them
  show                    print the whole state
  reset                   back to the default state: one interface (product id
                          16, firmware 1a2, USB mode 0), driver 5.12, streaming
                          mode 4, ASIO buffer size 256, 48000 Hz, minimum ASIO
                          buffer size 64 up to 48000 Hz, 128 up to 96000 Hz,
                          256 above
  help, --help            print this text

Options:
  --state FILE            the state file; default $VESK2_SIM_STATE, else
                          /tmp/vesk2-sim-UID.state (%TEMP%\vesk2-sim.state on
                          Windows). A missing file is the default state.

Numbers are decimal and must fit 32 bits; a STATUS may also be 0x-hexadecimal,
a firmware word is hexadecimal with or without 0x. Each command prints one line
(show prints several). Exit status: 0 done; 1 bad command line; 2 the state file
cannot be read or parsed (vesk2-sim reset starts afresh); 3 the state file
cannot be written.
)";
}

namespace
{
    using Arguments = std::vector<std::string>;
    using Outcome = StateStore::UpdateResult::Outcome;

    std::optional<uint32_t> parseStatus (std::string_view text)
    {
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            return parseHex32 (text.substr (2));

        return parseDecimal32 (text);
    }

    std::optional<uint32_t> parseFirmware (std::string_view text)
    {
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
            text.remove_prefix (2);

        return parseHex32 (text);
    }

    class Tool
    {
    public:
        Tool (std::ostream& o, std::ostream& e) : out (o), err (e) {}

        int run (const Arguments& arguments)
        {
            std::optional<std::string> statePath;
            size_t i = 0;

            for (; i < arguments.size() && arguments[i].rfind ('-', 0) == 0; ++i)
            {
                auto& option = arguments[i];

                if (option == "--help" || option == "-h")
                {
                    out << toolUsage();
                    return toolSuccess;
                }

                if (option == "--state" && i + 1 < arguments.size() && ! arguments[i + 1].empty())
                    statePath = arguments[++i];
                else if (option.rfind ("--state=", 0) == 0 && option.size() > 8)
                    statePath = option.substr (8);
                else if (option == "--state" || option == "--state=")
                    return usageError ("--state needs a file name");
                else
                    return usageError ("unknown option " + quoteForMessage (option));
            }

            if (i == arguments.size())
                return usageError ("no command given");

            store.emplace (statePath ? *statePath : StateStore::pathFromEnvironment());
            auto& command = arguments[i];
            Arguments rest (arguments.begin() + static_cast<long> (i) + 1, arguments.end());

            if (command == "plug")    return plug (rest);
            if (command == "unplug")  return unplug (rest);
            if (command == "set")     return set (rest);
            if (command == "fail")    return fail (rest);
            if (command == "heal")    return heal (rest);
            if (command == "show")    return noArguments (command, rest) ? show() : toolBadUsage;
            if (command == "reset")   return noArguments (command, rest) ? reset() : toolBadUsage;
            if (command == "help")    return noArguments (command, rest) ? help() : toolBadUsage;

            return usageError ("unknown command " + quoteForMessage (command));
        }

    private:
        std::ostream& out;
        std::ostream& err;
        std::optional<StateStore> store;

        int help()
        {
            out << toolUsage();
            return toolSuccess;
        }

        int usageError (const std::string& message)
        {
            err << "vesk2-sim: " << message << " (vesk2-sim --help lists the commands)\n";
            return toolBadUsage;
        }

        bool noArguments (const std::string& command, const Arguments& rest)
        {
            if (rest.empty())
                return true;

            usageError (command + " takes no arguments, found " + quoteForMessage (rest[0]));
            return false;
        }

        std::optional<uint32_t> number (const std::string& text, const std::string& what)
        {
            auto value = parseDecimal32 (text);

            if (! value)
                usageError (what + ": " + quoteForMessage (text) + " is not a whole number from 0 to 4294967295");

            return value;
        }

        // Runs the change under the lock; the change sets message (the one-line
        // result) or, returning false with a message, reports bad input.
        int change (const std::function<bool (SimState&, std::string& message)>& apply)
        {
            std::string message;
            bool refused = false;

            auto result = store->update ([&] (SimState& state)
            {
                refused = ! apply (state, message);
                return ! refused;
            });

            switch (result.outcome)
            {
                case Outcome::written:
                    out << message << "\n";
                    return toolSuccess;

                case Outcome::leftAlone:
                    if (refused)
                        return usageError (message);

                    out << message << "\n";
                    return toolSuccess;

                case Outcome::unreadable:
                    err << "vesk2-sim: the state file cannot be used: " << result.error
                        << "\n(vesk2-sim reset replaces it with the default state)\n";
                    return toolStateUnreadable;

                case Outcome::writeFailed:
                    break;
            }

            err << "vesk2-sim: " << result.error << "\n";
            return toolWriteFailed;
        }

        int plug (const Arguments& rest)
        {
            SimInterface added;
            bool seenProduct = false, seenFirmware = false, seenMode = false;

            for (size_t i = 0; i < rest.size(); i += 2)
            {
                auto& option = rest[i];
                bool* seen = option == "--product-id" ? &seenProduct
                           : option == "--firmware"   ? &seenFirmware
                           : option == "--usb-mode"   ? &seenMode
                                                      : nullptr;

                if (seen == nullptr)
                    return usageError ("plug: unknown option " + quoteForMessage (option));

                if (*seen)
                    return usageError ("plug: " + option + " is given twice");

                if (i + 1 >= rest.size())
                    return usageError ("plug: " + option + " needs a value");

                *seen = true;
                auto& text = rest[i + 1];

                if (option == "--firmware")
                {
                    auto value = parseFirmware (text);

                    if (! value)
                        return usageError ("plug: --firmware " + quoteForMessage (text)
                                           + " is not a 32-bit hexadecimal number");
                    added.firmware = *value;
                }
                else
                {
                    auto value = number (text, "plug: " + option);

                    if (! value)
                        return toolBadUsage;

                    (option == "--product-id" ? added.productId : added.usbMode) = *value;
                }
            }

            return change ([&] (SimState& state, std::string& message)
            {
                if (! state.plug (added.productId, added.firmware, added.usbMode))
                {
                    message = "plug: no serial number is left; run vesk2-sim reset";
                    return false;
                }

                message = std::to_string (state.interfaces.size() - 1);
                return true;
            });
        }

        int unplug (const Arguments& rest)
        {
            if (rest.size() > 1)
                return usageError ("unplug takes at most one INDEX");

            std::optional<uint32_t> index;

            if (! rest.empty() && ! (index = number (rest[0], "unplug INDEX")))
                return toolBadUsage;

            return change ([&] (SimState& state, std::string& message)
            {
                auto& interfaces = state.interfaces;

                if (interfaces.empty())
                {
                    message = "unplug: no interface is plugged in";
                    return false;
                }

                auto position = index ? *index : static_cast<uint32_t> (interfaces.size() - 1);

                if (position >= interfaces.size())
                {
                    message = "unplug: there is no interface " + std::to_string (position) + " (indexes 0 to "
                            + std::to_string (interfaces.size() - 1) + ")";
                    return false;
                }

                message = "unplugged interface " + std::to_string (position)
                        + " (serial " + std::to_string (interfaces[position].serial) + ")";
                interfaces.erase (interfaces.begin() + position);
                return true;
            });
        }

        int set (const Arguments& rest)
        {
            if (rest.empty())
                return usageError ("set needs a setting: driver-version, streaming-mode, asio-buffer-size, "
                                   "sample-rate or minimum-asio-buffer-size");

            auto& key = rest[0];

            if (key == "minimum-asio-buffer-size")
            {
                if (rest.size() != 3)
                    return usageError ("set minimum-asio-buffer-size takes RATE (or max) and SIZE");

                MinimumBufferRow row;
                row.unbounded = rest[1] == "max";

                if (! row.unbounded)
                {
                    auto rate = number (rest[1], "set minimum-asio-buffer-size RATE");

                    if (! rate)
                        return toolBadUsage;

                    row.upToRate = *rate;
                }

                auto size = number (rest[2], "set minimum-asio-buffer-size SIZE");

                if (! size)
                    return toolBadUsage;

                row.minimumSize = *size;

                return change ([&] (SimState& state, std::string& message)
                {
                    state.setMinimumBufferSize (row);
                    message = "minimum-asio-buffer-size " + rest[1] + " " + std::to_string (*size);
                    return true;
                });
            }

            if (rest.size() != 2)
                return usageError ("set " + key + " takes exactly one value");

            if (key == "driver-version")
            {
                auto& text = rest[1];
                auto dot = text.find ('.');
                std::optional<uint32_t> major, minor;

                if (dot != std::string::npos)
                {
                    major = parseDecimal32 (std::string_view (text).substr (0, dot));
                    minor = parseDecimal32 (std::string_view (text).substr (dot + 1));
                }

                if (! major || ! minor)
                    return usageError ("set driver-version: " + quoteForMessage (text)
                                       + " is not MAJOR.MINOR with two whole numbers");

                return change ([&] (SimState& state, std::string& message)
                {
                    state.driverMajor = *major;
                    state.driverMinor = *minor;
                    message = "driver-version " + std::to_string (*major) + "." + std::to_string (*minor);
                    return true;
                });
            }

            uint32_t SimState::* field = key == "streaming-mode"   ? &SimState::streamingMode
                                       : key == "asio-buffer-size" ? &SimState::asioBufferSize
                                       : key == "sample-rate"      ? &SimState::sampleRate
                                                                   : nullptr;

            if (field == nullptr)
                return usageError ("set: unknown setting " + quoteForMessage (key));

            auto value = number (rest[1], "set " + key);

            if (! value)
                return toolBadUsage;

            return change ([&] (SimState& state, std::string& message)
            {
                state.*field = *value;
                message = key + " " + std::to_string (*value);
                return true;
            });
        }

        int fail (const Arguments& rest)
        {
            if (rest.empty() || rest.size() > 2)
                return usageError ("fail takes FUNCTION and an optional STATUS");

            auto& function = rest[0];

            if (! isDriverFunctionName (function))
                return usageError ("fail: " + quoteForMessage (function) + " is not one of the 15 TUSBAUDIO_* functions");

            bool isCount = function == deviceCountFunctionName;
            uint32_t value = isCount ? 0 : 1;

            if (rest.size() == 2)
            {
                auto parsed = isCount ? parseDecimal32 (rest[1]) : parseStatus (rest[1]);

                if (! parsed)
                    return usageError ("fail: " + quoteForMessage (rest[1]) + " is not a 32-bit "
                                       + (isCount ? "count" : "status"));

                if (*parsed == 0 && ! isCount)
                    return usageError ("fail: status 0 means success; give a non-zero status");

                value = *parsed;
            }

            return change ([&] (SimState& state, std::string& message)
            {
                state.failures[function] = value;
                message = isCount ? function + " now reports " + std::to_string (value) + " devices"
                                  : function + " now fails with status " + std::to_string (value);
                return true;
            });
        }

        int heal (const Arguments& rest)
        {
            if (rest.size() > 1)
                return usageError ("heal takes at most one FUNCTION");

            if (rest.size() == 1 && ! isDriverFunctionName (rest[0]))
                return usageError ("heal: " + quoteForMessage (rest[0]) + " is not one of the 15 TUSBAUDIO_* functions");

            return change ([&] (SimState& state, std::string& message)
            {
                if (rest.empty())
                {
                    message = "healed " + std::to_string (state.failures.size()) + " injected failures";
                    state.failures.clear();
                }
                else
                {
                    message = state.failures.erase (rest[0]) != 0 ? "healed " + rest[0]
                                                                 : rest[0] + " was not failing";
                }

                return true;
            });
        }

        int show()
        {
            auto loaded = store->load();

            if (! loaded.error.empty())
            {
                err << "vesk2-sim: the state file cannot be used: " << loaded.error
                    << "\n(vesk2-sim reset replaces it with the default state)\n";
                return toolStateUnreadable;
            }

            auto& s = loaded.state;
            out << "state file: " << store->getPath() << (loaded.missing ? " (not there yet: the default state)" : "") << "\n"
                << "driver version: " << s.driverMajor << "." << s.driverMinor << "\n"
                << "USB streaming mode: " << s.streamingMode << "\n"
                << "ASIO buffer size: " << s.asioBufferSize << "\n"
                << "sample rate: " << s.sampleRate << " Hz\n"
                << "minimum ASIO buffer size:";

            for (size_t i = 0; i < s.minimumBufferSizes.size(); ++i)
            {
                auto& row = s.minimumBufferSizes[i];
                out << (i == 0 ? " " : ", ") << row.minimumSize;

                if (! row.unbounded)
                    out << " up to " << row.upToRate << " Hz";
                else
                    out << (i == 0 ? " at every rate" : " above");
            }

            out << "\ninterfaces: " << s.interfaces.size() << "\n";

            for (size_t i = 0; i < s.interfaces.size(); ++i)
            {
                auto& interface = s.interfaces[i];
                out << "  " << i << ": serial " << interface.serial << ", product id " << interface.productId
                    << ", firmware " << toHex (interface.firmware) << ", USB mode " << interface.usbMode << "\n";
            }

            out << "injected failures: " << (s.failures.empty() ? "none" : std::to_string (s.failures.size())) << "\n";

            for (auto& [function, value] : s.failures)
                out << "  " << function << (function == deviceCountFunctionName ? " reports " : " returns ")
                    << value << (function == deviceCountFunctionName ? " devices" : "") << "\n";

            return toolSuccess;
        }

        int reset()
        {
            // The fresh interface takes the next serial, so a program that is watching
            // sees the old interfaces leave and a new one arrive.
            auto result = store->update ([] (SimState& state)
            {
                auto fresh = SimState::makeDefault();

                if (state.nextSerial < 0xfffffffeu)
                {
                    fresh.interfaces[0].serial = state.nextSerial;
                    fresh.nextSerial = state.nextSerial + 1;
                }

                state = fresh;
                return true;
            });

            std::string note;

            // An unreadable file is what reset is for: replace it outright.
            if (result.outcome == Outcome::unreadable)
            {
                result = store->overwrite (SimState::makeDefault());
                note = " (the unreadable file was replaced)";
            }

            if (result.outcome != Outcome::written)
            {
                err << "vesk2-sim: " << result.error << "\n";
                return toolWriteFailed;
            }

            out << "reset to the default state" << note << "\n";
            return toolSuccess;
        }
    };
}

int runTool (const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err)
{
    return Tool (out, err).run (arguments);
}

} // namespace vesk2sim
