// The simulated driver of one unit test: a state file and call log of its own,
// and the log read back as calls.
#pragma once

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <cstdlib>
#include <vector>

namespace simulated_driver
{

inline void setEnvironment (const char* name, const juce::String& value)
{
   #if JUCE_WINDOWS
    _putenv_s (name, value.toRawUTF8());
   #else
    setenv (name, value.toRawUTF8(), 1);
   #endif
}

inline void clearEnvironment (const char* name)
{
   #if JUCE_WINDOWS
    _putenv_s (name, "");
   #else
    unsetenv (name);
   #endif
}

/** One line of the simulator's call log: "MICROS NAME IN... -> STATUS [KEY=VALUE ...]". */
struct Call
{
    juce::String name;
    juce::StringArray inputs;
    juce::String status;
    juce::StringArray outputs;

    juce::String input (int i) const       { return inputs[i]; }
};

/** The simulated driver of one test: a fresh folder holding its state file and
    its call log, named to the library through VESK2_SIM_STATE and VESK2_SIM_LOG
    (which it reads on every call). */
class SimulatedDriver
{
public:
    // A name of its own: CTest runs test processes side by side, and the numbered
    // names of getNonexistentChildFile come out the same in each of them.
    SimulatedDriver()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getChildFile ("vesk2-unit-test-" + juce::Uuid().toString()))
    {
        folder.createDirectory();
        setEnvironment ("VESK2_SIM_STATE", stateFile().getFullPathName());
        setEnvironment ("VESK2_SIM_LOG", logFile().getFullPathName());
    }

    ~SimulatedDriver()
    {
        clearEnvironment ("VESK2_SIM_STATE");
        clearEnvironment ("VESK2_SIM_LOG");
        folder.deleteRecursively();
    }

    juce::File stateFile() const    { return folder.getChildFile ("state"); }
    juce::File logFile() const      { return folder.getChildFile ("calls.log"); }

    /** Replaces the whole state with the state file's own lines; settings left
        out keep the simulator's defaults (driver 5.12, streaming mode 4, ASIO
        buffer size 256 at 48000 Hz, minimums 64 / 128 / 256), and the interfaces
        are exactly those given. */
    void setState (const juce::String& lines) const
    {
        ASSERT_TRUE (stateFile().replaceWithText ("vesk2-sim-state 1\nnext-serial 100\n" + lines));
    }

    /** One interface line: serial (unique), firmware word in hexadecimal. */
    static juce::String interfaceLine (int serial, const juce::String& firmwareHex = "1a2", int usbMode = 0)
    {
        return "interface " + juce::String (serial) + " product-id=16 firmware=" + firmwareHex
               + " usb-mode=" + juce::String (usbMode) + "\n";
    }

    void clearLog() const           { logFile().deleteFile(); }

    std::vector<Call> calls() const
    {
        std::vector<Call> result;
        juce::StringArray lines;
        lines.addLines (logFile().loadFileAsString());

        for (const auto& line : lines)
        {
            auto tokens = juce::StringArray::fromTokens (line, " ", {});

            if (tokens.size() < 2 || tokens[1] == "POST")
                continue;

            Call call;
            call.name = tokens[1];
            const auto arrow = tokens.indexOf ("->");

            for (int i = 2; i < (arrow < 0 ? tokens.size() : arrow); ++i)
                call.inputs.add (tokens[i]);

            if (arrow >= 0)
            {
                call.status = tokens[arrow + 1];

                for (int i = arrow + 2; i < tokens.size(); ++i)
                    call.outputs.add (tokens[i]);
            }

            result.push_back (call);
        }

        return result;
    }

    std::vector<Call> callsNamed (const juce::String& name) const
    {
        std::vector<Call> result;

        for (const auto& call : calls())
            if (call.name == name)
                result.push_back (call);

        return result;
    }

    juce::StringArray callNames() const
    {
        juce::StringArray names;

        for (const auto& call : calls())
            names.add (call.name);

        return names;
    }

private:
    juce::File folder;
};

} // namespace simulated_driver
