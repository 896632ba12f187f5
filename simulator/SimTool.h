/*
    vesk2-sim, the command-line tool that plugs and unplugs simulated interfaces,
    changes the driver's settings and injects failures, in a state file that the
    simulated driver library reads on every call.
*/
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vesk2sim
{

/** Exit codes of vesk2-sim. */
enum ToolExitCode
{
    toolSuccess = 0,
    toolBadUsage = 1,           // unknown command or option, malformed number, nothing to unplug
    toolStateUnreadable = 2,    // the state file exists but cannot be read or parsed
    toolWriteFailed = 3         // the state file or its lock cannot be written
};

/** The usage text printed by --help, also fit for the README. */
const char* toolUsage();

/** Runs one command (the arguments after the program name). The one-line result
    goes to out, errors to err; returns a ToolExitCode. */
int runTool (const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace vesk2sim
