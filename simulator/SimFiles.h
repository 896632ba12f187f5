/*
    The few file and process facilities the simulator needs, with one
    implementation per system: SimPlatformPosix.cpp and SimPlatformWin32.cpp.
    Paths are UTF-8.
*/
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vesk2sim
{

/** The variable's value, or none when it is not set. */
std::optional<std::string> getEnvironment (const char* name);

/** /tmp/vesk2-sim-<uid>.state on Linux, %TEMP%\vesk2-sim.state on Windows. */
std::string defaultStatePath();

enum class ReadOutcome
{
    read,
    missing,
    failed
};

/** Reads a whole (small) file; on failure the error says why. */
ReadOutcome readWholeFile (const std::string& path, std::string& contents, std::string& error);

/** Writes a new file beside the target, then renames it over the target, so a
    reader sees either the old contents or the new, never a mix. */
bool replaceFileAtomically (const std::string& path, const std::string& contents, std::string& error);

/** Appends the line with one write on a file opened for appending, so lines from
    several threads or processes never interleave. Returns false on failure. */
bool appendLineToFile (const std::string& path, const std::string& line);

uint64_t microsecondsSinceEpoch();

} // namespace vesk2sim
