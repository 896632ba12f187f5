/*
    The state file: where it is, reading it, and changing it safely while other
    processes (vesk2-sim, other programs using the library) change it too.
*/
#pragma once

#include "simulator/SimState.h"

#include <functional>
#include <string>

namespace vesk2sim
{

class StateStore final
{
public:
    explicit StateStore (std::string statePath);

    /** $VESK2_SIM_STATE when set (and not empty), else the per-user default. */
    static std::string pathFromEnvironment();

    const std::string& getPath() const  { return path; }

    struct Loaded
    {
        SimState state;         // the default state when the file is missing or unreadable
        bool missing = false;
        std::string error;      // not empty: the file exists but could not be read or parsed
    };

    /** Reads without the lock: writers replace the file in one rename, so the
        contents are always one whole version. */
    Loaded load() const;

    struct UpdateResult
    {
        enum class Outcome
        {
            written,
            leftAlone,      // the change function declined
            unreadable,     // the file exists but cannot be read or parsed: it is not overwritten
            writeFailed
        };

        Outcome outcome = Outcome::leftAlone;
        std::string error;
    };

    /** Under the lock file, reads the current state, lets the change function alter
        it, and writes the result atomically if the function returns true. */
    UpdateResult update (const std::function<bool (SimState&)>& change) const;

    /** Under the lock file, writes the state given whatever the file held. */
    UpdateResult overwrite (const SimState& state) const;

private:
    std::string path;
};

} // namespace vesk2sim
