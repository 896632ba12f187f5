/*
    Shared by the simulator tests: a fresh folder per test with the state file and
    the call log in it, named through VESK2_SIM_STATE and VESK2_SIM_LOG, and ways
    to run vesk2-sim (in this process or as a process of its own) and read the log.
*/
#pragma once

#include "device/tusbaudioapi.h"
#include "simulator/SimStateParser.h"
#include "simulator/SimTool.h"
#include "simulator/StateStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#if defined (_WIN32)
 #include <process.h>
#else
 #include <sys/wait.h>
 #include <unistd.h>
#endif

namespace simtest
{

namespace fs = std::filesystem;

inline void setEnvironment (const char* name, const std::string& value)
{
#if defined (_WIN32)
    _putenv_s (name, value.c_str());
#else
    setenv (name, value.c_str(), 1);
#endif
}

inline int processId()
{
#if defined (_WIN32)
    return _getpid();
#else
    return static_cast<int> (getpid());
#endif
}

inline std::string readFile (const fs::path& path)
{
    std::ifstream in (path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile (const fs::path& path, const std::string& text)
{
    std::ofstream (path, std::ios::binary) << text;
}

inline std::vector<std::string> splitLines (const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in (text);

    for (std::string line; std::getline (in, line);)
        lines.push_back (line);

    return lines;
}

/** Runs vesk2-sim in this process, on $VESK2_SIM_STATE unless the arguments say otherwise. */
inline int runQuietly (const std::vector<std::string>& arguments)
{
    std::ostringstream out, err;
    return vesk2sim::runTool (arguments, out, err);
}

/** Gives each test its own state file and call log, removed afterwards. */
class SimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static std::atomic<int> counter { 0 };
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();

        for (auto& c : name)
            if (c == '/')
                c = '-';    // parameterised cases are named "Case/3"

        folder = fs::temp_directory_path() / ("vesk2-simtest-" + std::to_string (processId()) + "-"
                                              + std::to_string (++counter) + "-" + name);
        fs::remove_all (folder);
        fs::create_directories (folder);
        statePath = folder / "driver.state";
        logPath = folder / "calls.log";
        setEnvironment ("VESK2_SIM_STATE", statePath.string());
        setEnvironment ("VESK2_SIM_LOG", logPath.string());
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all (folder, ignored);
    }

    /** Runs vesk2-sim in this process on the test's state file; returns the exit code. */
    int tool (std::vector<std::string> arguments, std::string* output = nullptr, std::string* errors = nullptr)
    {
        arguments.insert (arguments.begin(), { "--state", statePath.string() });
        std::ostringstream out, err;
        auto code = vesk2sim::runTool (arguments, out, err);

        if (output != nullptr)
            *output = out.str();

        if (errors != nullptr)
            *errors = err.str();

        return code;
    }

    vesk2sim::SimState state() const
    {
        auto loaded = vesk2sim::StateStore (statePath.string()).load();
        EXPECT_TRUE (loaded.error.empty()) << loaded.error;
        return loaded.state;
    }

    std::vector<std::string> logLines() const
    {
        return splitLines (readFile (logPath));
    }

    /** Each log line without its leading timestamp. */
    std::vector<std::string> loggedCalls() const
    {
        std::vector<std::string> calls;

        for (auto& line : logLines())
            calls.push_back (line.substr (line.find (' ') + 1));

        return calls;
    }

    fs::path folder, statePath, logPath;
};

/** The vesk2-sim executable: $VESK2_BIN/vesk2-sim when set, else the one built beside the tests. */
inline std::string toolExecutable()
{
    if (auto* bin = std::getenv ("VESK2_BIN"))
    {
        auto candidate = fs::path (bin) / "vesk2-sim";

        if (fs::exists (candidate) || fs::exists (fs::path (candidate).replace_extension (".exe")))
            return candidate.string();
    }

#if defined (VESK2_SIM_TOOL)
    return VESK2_SIM_TOOL;
#else
    return "vesk2-sim";
#endif
}

/** Runs vesk2-sim as a process of its own, its output into the given file. */
inline int runToolProcess (const std::string& arguments, const fs::path& outputFile)
{
    auto command = "\"" + toolExecutable() + "\" " + arguments + " > \"" + outputFile.string() + "\" 2>&1";

#if defined (_WIN32)
    command = "\"" + command + "\"";    // cmd.exe strips one pair of quotes around the whole line
    return std::system (command.c_str());
#else
    auto status = std::system (command.c_str());
    return WIFEXITED (status) ? WEXITSTATUS (status) : -1;
#endif
}

} // namespace simtest
