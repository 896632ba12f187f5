#pragma once

#include <cstdint>
#include <string>

namespace vesk2sim
{

/** Holds an exclusive lock on a lock file from construction to destruction.
    Processes and threads alike wait for each other, so a read-modify-write of the
    state file by vesk2-sim and by the library never loses an update. */
class FileLock final
{
public:
    explicit FileLock (const std::string& lockFilePath);
    ~FileLock();

    FileLock (const FileLock&) = delete;
    FileLock& operator= (const FileLock&) = delete;

    bool isLocked() const  { return locked; }
    const std::string& getError() const  { return error; }

private:
    intptr_t handle = -1;
    bool locked = false;
    std::string error;
};

} // namespace vesk2sim
