#pragma once

#include <cstdint>
#include <string>

namespace vesk2sim
{

/** Sleeps until the file may have changed (it was written, replaced, created or
    deleted) or until stop() is called. It asks the system to wake it, so nothing
    runs while nothing changes: inotify on Linux, a change notification on Windows.

    The watch starts in the constructor, so a change made right after it is not
    missed even if waitForChange() is called later. */
class DirectoryWatcher final
{
public:
    explicit DirectoryWatcher (const std::string& filePath);
    ~DirectoryWatcher();

    DirectoryWatcher (const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator= (const DirectoryWatcher&) = delete;

    bool isValid() const  { return valid; }
    const std::string& getError() const  { return error; }

    enum class Wake
    {
        changed,
        stopped,
        failed
    };

    /** Called on the watching thread only. */
    Wake waitForChange();

    /** Called from any thread: makes the current or next waitForChange() return stopped. */
    void stop();

private:
    std::string fileName;
    intptr_t changeHandle = -1;     // inotify descriptor / change notification handle
    intptr_t watchId = -1;
    intptr_t stopHandle = -1;       // eventfd / manual-reset event
    bool valid = false;
    std::string error;
};

} // namespace vesk2sim
