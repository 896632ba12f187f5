/*
    The simulated driver's plug-and-play notification: a thread of its own that
    sleeps until the state file changes, compares the connected interfaces with
    the ones it saw last, and posts the registered window message for each change.
*/
#pragma once

#include "simulator/DirectoryWatcher.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vesk2sim
{

class PnpWatcher final
{
public:
    struct Target
    {
        void* window = nullptr;
        uint32_t message = 0;
        std::string statePath;      // taken at registration: the thread never reads the
        std::string logPath;        // environment, which the caller's thread may change
    };

    /** Starts watching and takes the interfaces connected now as the ones already
        known, but does not start the thread yet. None, with the error, when the
        state file's folder cannot be watched. */
    static std::unique_ptr<PnpWatcher> create (Target target, std::string& error);

    /** Stops and joins the thread: nothing is posted once this returns. */
    ~PnpWatcher();

    void start();

    PnpWatcher (const PnpWatcher&) = delete;
    PnpWatcher& operator= (const PnpWatcher&) = delete;

private:
    PnpWatcher (Target target);

    std::vector<uint32_t> readConnectedSerials() const;
    void run();
    void post (uint64_t wParam);

    Target target;
    DirectoryWatcher watcher;
    std::vector<uint32_t> seen;     // used by the thread only, once started
    std::thread thread;
};

} // namespace vesk2sim
