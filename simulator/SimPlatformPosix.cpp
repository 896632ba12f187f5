/*
    The Linux (POSIX) side of SimFiles.h, FileLock.h and DirectoryWatcher.h.
    SimPlatformWin32.cpp is the Windows side; each build compiles one of them.
*/
#include "simulator/DirectoryWatcher.h"
#include "simulator/FileLock.h"
#include "simulator/SimFiles.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk2sim
{

namespace
{
    constexpr size_t largestStateFile = 1 << 20;

    // std::strerror may share one buffer between threads; this does not.
    std::string describeErrno()
    {
        return std::system_category().message (errno);
    }

    std::string describeErrno (const std::string& what, const std::string& path)
    {
        return what + " " + path + ": " + describeErrno();
    }

    bool writeAll (int fd, const char* data, size_t size)
    {
        while (size > 0)
        {
            auto written = ::write (fd, data, size);

            if (written < 0)
            {
                if (errno == EINTR)
                    continue;

                return false;
            }

            data += written;
            size -= static_cast<size_t> (written);
        }

        return true;
    }

    void splitPath (const std::string& path, std::string& directory, std::string& name)
    {
        auto slash = path.find_last_of ('/');

        if (slash == std::string::npos)
        {
            directory = ".";
            name = path;
        }
        else
        {
            directory = slash == 0 ? "/" : path.substr (0, slash);
            name = path.substr (slash + 1);
        }
    }
}

std::optional<std::string> getEnvironment (const char* name)
{
    // Only read, never set, by the library and the program while driver calls run.
    if (auto* value = std::getenv (name))   // NOLINT(concurrency-mt-unsafe)
        return std::string (value);

    return std::nullopt;
}

std::string defaultStatePath()
{
    return "/tmp/vesk2-sim-" + std::to_string (::getuid()) + ".state";
}

ReadOutcome readWholeFile (const std::string& path, std::string& contents, std::string& error)
{
    contents.clear();
    int fd = ::open (path.c_str(), O_RDONLY | O_CLOEXEC);

    if (fd < 0)
    {
        if (errno == ENOENT)
            return ReadOutcome::missing;

        error = describeErrno ("cannot open", path);
        return ReadOutcome::failed;
    }

    char buffer[4096];

    for (;;)
    {
        auto got = ::read (fd, buffer, sizeof (buffer));

        if (got < 0 && errno == EINTR)
            continue;

        if (got < 0)
        {
            error = describeErrno ("cannot read", path);
            ::close (fd);
            return ReadOutcome::failed;
        }

        if (got == 0)
            break;

        contents.append (buffer, static_cast<size_t> (got));

        if (contents.size() > largestStateFile)
        {
            error = path + " is larger than a state file can be";
            ::close (fd);
            return ReadOutcome::failed;
        }
    }

    ::close (fd);
    return ReadOutcome::read;
}

bool replaceFileAtomically (const std::string& path, const std::string& contents, std::string& error)
{
    static std::atomic<unsigned> counter { 0 };
    auto temporary = path + ".tmp." + std::to_string (::getpid()) + "." + std::to_string (++counter);

    int fd = ::open (temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);

    if (fd < 0)
    {
        error = describeErrno ("cannot create", temporary);
        return false;
    }

    // No fsync: readers need only see the old file or the whole new one, which the
    // rename gives; surviving a power cut is not a simulator's business.
    bool ok = writeAll (fd, contents.data(), contents.size());

    if (! ok)
        error = describeErrno ("cannot write", temporary);

    if (::close (fd) != 0 && ok)
    {
        ok = false;
        error = describeErrno ("cannot write", temporary);
    }

    if (ok && ::rename (temporary.c_str(), path.c_str()) != 0)
    {
        ok = false;
        error = describeErrno ("cannot replace", path);
    }

    if (! ok)
        ::unlink (temporary.c_str());

    return ok;
}

bool appendLineToFile (const std::string& path, const std::string& line)
{
    int fd = ::open (path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);

    if (fd < 0)
        return false;

    // One write() on an O_APPEND file: the line lands whole at the end, even with
    // other processes appending to the same log.
    ssize_t written;

    do
        written = ::write (fd, line.data(), line.size());
    while (written < 0 && errno == EINTR);

    ::close (fd);
    return written == static_cast<ssize_t> (line.size());
}

uint64_t microsecondsSinceEpoch()
{
    using namespace std::chrono;
    return static_cast<uint64_t> (duration_cast<microseconds> (system_clock::now().time_since_epoch()).count());
}

//==============================================================================
FileLock::FileLock (const std::string& lockFilePath)
{
    // O_NOFOLLOW: the default state lives in /tmp, where anyone could plant a link.
    int fd = ::open (lockFilePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);

    if (fd < 0)
    {
        error = describeErrno ("cannot open the lock file", lockFilePath);
        return;
    }

    handle = fd;
    int result;

    // Each FileLock opens the file anew, so threads of one process exclude each
    // other as well as processes do.
    do
        result = ::flock (fd, LOCK_EX);
    while (result != 0 && errno == EINTR);

    if (result != 0)
        error = describeErrno ("cannot lock", lockFilePath);
    else
        locked = true;
}

FileLock::~FileLock()
{
    if (handle >= 0)
        ::close (static_cast<int> (handle));    // closing releases the lock
}

//==============================================================================
DirectoryWatcher::DirectoryWatcher (const std::string& filePath)
{
    std::string directory;
    splitPath (filePath, directory, fileName);

    int inotifyFd = ::inotify_init1 (IN_NONBLOCK | IN_CLOEXEC);

    if (inotifyFd < 0)
    {
        error = describeErrno ("cannot watch", directory);
        return;
    }

    changeHandle = inotifyFd;

    int watch = ::inotify_add_watch (inotifyFd, directory.c_str(),
                                     IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE);

    if (watch < 0)
    {
        error = describeErrno ("cannot watch", directory);
        return;
    }

    watchId = watch;

    int eventFd = ::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);

    if (eventFd < 0)
    {
        error = "cannot create an event: " + describeErrno();
        return;
    }

    stopHandle = eventFd;
    valid = true;
}

DirectoryWatcher::~DirectoryWatcher()
{
    if (changeHandle >= 0)
        ::close (static_cast<int> (changeHandle));

    if (stopHandle >= 0)
        ::close (static_cast<int> (stopHandle));
}

DirectoryWatcher::Wake DirectoryWatcher::waitForChange()
{
    if (! valid)
        return Wake::failed;

    int inotifyFd = static_cast<int> (changeHandle);
    int eventFd = static_cast<int> (stopHandle);

    for (;;)
    {
        pollfd fds[2] = { { eventFd, POLLIN, 0 }, { inotifyFd, POLLIN, 0 } };

        if (::poll (fds, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;

            return Wake::failed;
        }

        if ((fds[0].revents & POLLIN) != 0)
            return Wake::stopped;

        if ((fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return Wake::failed;

        // Drain everything queued, so one burst of writes wakes the caller once.
        bool ours = false;
        alignas (inotify_event) char buffer[sizeof (inotify_event) + NAME_MAX + 1];

        for (;;)
        {
            auto got = ::read (inotifyFd, buffer, sizeof (buffer));

            if (got < 0 && errno == EINTR)
                continue;

            if (got <= 0)
                break;

            for (ssize_t offset = 0; offset < got;)
            {
                auto* event = reinterpret_cast<const inotify_event*> (buffer + offset);

                if ((event->mask & IN_Q_OVERFLOW) != 0
                    || (event->len > 0 && fileName == event->name))
                    ours = true;

                if ((event->mask & IN_IGNORED) != 0)
                    return Wake::failed;    // the directory itself went away

                offset += static_cast<ssize_t> (sizeof (inotify_event) + event->len);
            }
        }

        if (ours)
            return Wake::changed;
    }
}

void DirectoryWatcher::stop()
{
    if (stopHandle < 0)
        return;

    uint64_t one = 1;
    ssize_t written;

    do
        written = ::write (static_cast<int> (stopHandle), &one, sizeof (one));
    while (written < 0 && errno == EINTR);
}

} // namespace vesk2sim
