/*
    The Windows side of SimFiles.h, FileLock.h and DirectoryWatcher.h.
    SimPlatformPosix.cpp is the Linux side; each build compiles one of them.
*/
#include "simulator/DirectoryWatcher.h"
#include "simulator/FileLock.h"
#include "simulator/SimFiles.h"

#ifndef WIN32_LEAN_AND_MEAN
 #define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
 #define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace vesk2sim
{

namespace
{
    constexpr size_t largestStateFile = 1 << 20;

    std::wstring widen (const std::string& text)
    {
        if (text.empty())
            return {};

        int length = MultiByteToWideChar (CP_UTF8, 0, text.data(), static_cast<int> (text.size()), nullptr, 0);
        std::wstring wide (static_cast<size_t> (length), L'\0');
        MultiByteToWideChar (CP_UTF8, 0, text.data(), static_cast<int> (text.size()), &wide[0], length);
        return wide;
    }

    std::string narrow (const std::wstring& text)
    {
        if (text.empty())
            return {};

        int length = WideCharToMultiByte (CP_UTF8, 0, text.data(), static_cast<int> (text.size()),
                                          nullptr, 0, nullptr, nullptr);
        std::string result (static_cast<size_t> (length), '\0');
        WideCharToMultiByte (CP_UTF8, 0, text.data(), static_cast<int> (text.size()),
                             &result[0], length, nullptr, nullptr);
        return result;
    }

    std::string describeLastError (const std::string& what, const std::string& path)
    {
        return what + " " + path + ": Windows error " + std::to_string (GetLastError());
    }

    std::string directoryOf (const std::string& path, std::string& name)
    {
        auto slash = path.find_last_of ("/\\");

        if (slash == std::string::npos)
        {
            name = path;
            return ".";
        }

        name = path.substr (slash + 1);
        return slash == 0 ? path.substr (0, 1) : path.substr (0, slash);
    }
}

std::optional<std::string> getEnvironment (const char* name)
{
    if (auto* value = _wgetenv (widen (name).c_str()))
        return narrow (value);

    return std::nullopt;
}

std::string defaultStatePath()
{
    wchar_t buffer[MAX_PATH + 1];
    auto length = GetTempPathW (MAX_PATH + 1, buffer);
    std::wstring directory (buffer, length > 0 && length <= MAX_PATH ? length : 0);
    return narrow (directory) + "vesk2-sim.state";
}

ReadOutcome readWholeFile (const std::string& path, std::string& contents, std::string& error)
{
    contents.clear();

    // FILE_SHARE_DELETE lets a writer rename its new file over this one while we read.
    HANDLE file = CreateFileW (widen (path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (file == INVALID_HANDLE_VALUE)
    {
        auto code = GetLastError();

        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return ReadOutcome::missing;

        error = describeLastError ("cannot open", path);
        return ReadOutcome::failed;
    }

    char buffer[4096];
    DWORD got = 0;
    bool ok = true;

    while ((ok = ReadFile (file, buffer, sizeof (buffer), &got, nullptr) != 0) && got > 0)
    {
        contents.append (buffer, got);

        if (contents.size() > largestStateFile)
        {
            CloseHandle (file);
            error = path + " is larger than a state file can be";
            return ReadOutcome::failed;
        }
    }

    if (! ok)
        error = describeLastError ("cannot read", path);

    CloseHandle (file);
    return ok ? ReadOutcome::read : ReadOutcome::failed;
}

bool replaceFileAtomically (const std::string& path, const std::string& contents, std::string& error)
{
    static std::atomic<unsigned> counter { 0 };
    auto temporary = path + ".tmp." + std::to_string (GetCurrentProcessId()) + "." + std::to_string (++counter);
    auto wideTemporary = widen (temporary);

    HANDLE file = CreateFileW (wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);

    if (file == INVALID_HANDLE_VALUE)
    {
        error = describeLastError ("cannot create", temporary);
        return false;
    }

    DWORD written = 0;
    bool ok = WriteFile (file, contents.data(), static_cast<DWORD> (contents.size()), &written, nullptr) != 0
           && written == contents.size();

    if (! ok)
        error = describeLastError ("cannot write", temporary);

    CloseHandle (file);

    // A reader that opened the file without FILE_SHARE_DELETE (a virus scanner, an
    // editor) makes the rename fail for a moment; a few short retries ride that out.
    for (int attempt = 0; ok; ++attempt)
    {
        if (MoveFileExW (wideTemporary.c_str(), widen (path).c_str(), MOVEFILE_REPLACE_EXISTING) != 0)
            break;

        auto code = GetLastError();

        if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || attempt == 50)
        {
            ok = false;
            error = describeLastError ("cannot replace", path);
        }
        else
        {
            Sleep (10);
        }
    }

    if (! ok)
        DeleteFileW (wideTemporary.c_str());

    return ok;
}

bool appendLineToFile (const std::string& path, const std::string& line)
{
    // FILE_APPEND_DATA alone makes every write go to the end of the file, atomically.
    HANDLE file = CreateFileW (widen (path).c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (file == INVALID_HANDLE_VALUE)
        return false;

    DWORD written = 0;
    bool ok = WriteFile (file, line.data(), static_cast<DWORD> (line.size()), &written, nullptr) != 0
           && written == line.size();
    CloseHandle (file);
    return ok;
}

uint64_t microsecondsSinceEpoch()
{
    using namespace std::chrono;
    return static_cast<uint64_t> (duration_cast<microseconds> (system_clock::now().time_since_epoch()).count());
}

//==============================================================================
FileLock::FileLock (const std::string& lockFilePath)
{
    HANDLE file = CreateFileW (widen (lockFilePath).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (file == INVALID_HANDLE_VALUE)
    {
        error = describeLastError ("cannot open the lock file", lockFilePath);
        return;
    }

    handle = reinterpret_cast<intptr_t> (file);
    OVERLAPPED overlapped {};

    if (LockFileEx (file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &overlapped) == 0)
        error = describeLastError ("cannot lock", lockFilePath);
    else
        locked = true;
}

FileLock::~FileLock()
{
    if (handle == -1)
        return;

    auto file = reinterpret_cast<HANDLE> (handle);

    if (locked)
    {
        OVERLAPPED overlapped {};
        UnlockFileEx (file, 0, 1, 0, &overlapped);
    }

    CloseHandle (file);
}

//==============================================================================
DirectoryWatcher::DirectoryWatcher (const std::string& filePath)
{
    auto directory = directoryOf (filePath, fileName);

    // A change notification cannot name the file; the caller reads the file again
    // on every wake and compares, so a wake for a neighbour costs one read.
    HANDLE change = FindFirstChangeNotificationW (widen (directory).c_str(), FALSE,
                                                  FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE
                                                      | FILE_NOTIFY_CHANGE_SIZE);

    if (change == INVALID_HANDLE_VALUE)
    {
        error = describeLastError ("cannot watch", directory);
        return;
    }

    changeHandle = reinterpret_cast<intptr_t> (change);

    HANDLE stopEvent = CreateEventW (nullptr, TRUE, FALSE, nullptr);

    if (stopEvent == nullptr)
    {
        error = describeLastError ("cannot create an event for", directory);
        return;
    }

    stopHandle = reinterpret_cast<intptr_t> (stopEvent);
    valid = true;
}

DirectoryWatcher::~DirectoryWatcher()
{
    if (changeHandle != -1)
        FindCloseChangeNotification (reinterpret_cast<HANDLE> (changeHandle));

    if (stopHandle != -1)
        CloseHandle (reinterpret_cast<HANDLE> (stopHandle));
}

DirectoryWatcher::Wake DirectoryWatcher::waitForChange()
{
    if (! valid)
        return Wake::failed;

    HANDLE handles[2] = { reinterpret_cast<HANDLE> (stopHandle), reinterpret_cast<HANDLE> (changeHandle) };

    switch (WaitForMultipleObjects (2, handles, FALSE, INFINITE))
    {
        case WAIT_OBJECT_0:
            return Wake::stopped;

        case WAIT_OBJECT_0 + 1:
            return FindNextChangeNotification (handles[1]) != 0 ? Wake::changed : Wake::failed;

        default:
            return Wake::failed;
    }
}

void DirectoryWatcher::stop()
{
    if (stopHandle != -1)
        SetEvent (reinterpret_cast<HANDLE> (stopHandle));
}

} // namespace vesk2sim
