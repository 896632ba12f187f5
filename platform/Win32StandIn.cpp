/*
    The Linux stand-in for the window calls of Win32StandIn.h.

    Every window lives in one table, keyed by an id that is never reused, and
    its handle is that id: a stale or made-up handle finds nothing and the call
    fails as it would on Windows, instead of touching freed memory. One mutex
    guards the classes, the table and every queue; window procedures are always
    called with it released, so they may post, close or read the user data.
*/
#include "platform/Win32StandIn.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace
{
    constexpr UINT quitMessage = 0x0012;    // WM_QUIT: GetMessageA returns 0 when it fetches one

    struct Window
    {
        WNDPROC procedure = nullptr;
        LONG_PTR userData = 0;
        std::deque<MSG> queue;
        std::condition_variable queueChanged;
        bool destroying = false;
        bool destroyed = false;
    };

    struct State
    {
        std::mutex mutex;
        std::map<std::string, WNDPROC> classes;
        std::map<uintptr_t, std::shared_ptr<Window>> windows;
        uintptr_t lastId = 0;
        ATOM lastAtom = 0xc000;
    };

    // Never destroyed: a thread still inside GetMessageA while the process exits
    // must not find the table gone.
    State& state()
    {
        static State* const instance = new State();    // NOLINT(cppcoreguidelines-owning-memory): leaked on purpose, see above
        return *instance;
    }

    uintptr_t idOf (HWND window)
    {
        return reinterpret_cast<uintptr_t> (window);
    }

    // The caller holds the mutex.
    std::shared_ptr<Window> findWindow (State& s, HWND window)
    {
        auto found = s.windows.find (idOf (window));
        return found != s.windows.end() ? found->second : nullptr;
    }

    std::shared_ptr<Window> lookUp (HWND window)
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock (s.mutex);
        return findWindow (s, window);
    }

    DWORD tickCount()
    {
        using namespace std::chrono;
        return static_cast<DWORD> (duration_cast<milliseconds> (steady_clock::now().time_since_epoch()).count());
    }

    bool inFilter (UINT message, UINT filterMin, UINT filterMax)
    {
        return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
    }

    // As Windows' DestroyWindow: the procedure sees WM_DESTROY while the handle still
    // works, then the handle dies, its queue is dropped and a waiting GetMessageA wakes.
    void destroyWindow (HWND handle)
    {
        auto& s = state();
        std::shared_ptr<Window> window;

        {
            std::lock_guard<std::mutex> lock (s.mutex);
            window = findWindow (s, handle);

            if (window == nullptr || window->destroying)
                return;     // a second close while the first is under way changes nothing

            window->destroying = true;
        }

        window->procedure (handle, WM_DESTROY, 0, 0);

        std::lock_guard<std::mutex> lock (s.mutex);
        s.windows.erase (idOf (handle));
        window->destroyed = true;
        window->queue.clear();
        window->queueChanged.notify_all();
    }
}

extern "C"
{

ATOM RegisterClassExA (const WNDCLASSEXA* windowClass)
{
    if (windowClass == nullptr || windowClass->cbSize != sizeof (WNDCLASSEXA)
        || windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr)
        return 0;

    auto& s = state();
    std::lock_guard<std::mutex> lock (s.mutex);

    // Like Windows, a second registration of a name fails and the first one stays.
    if (! s.classes.emplace (windowClass->lpszClassName, windowClass->lpfnWndProc).second)
        return 0;

    return ++s.lastAtom;
}

HWND CreateWindowExA (DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int,
                      HWND parent, HMENU, HINSTANCE, LPVOID)
{
    if (parent != HWND_MESSAGE || className == nullptr)
        return nullptr;

    auto& s = state();
    std::lock_guard<std::mutex> lock (s.mutex);

    auto found = s.classes.find (className);

    if (found == s.classes.end())
        return nullptr;

    auto window = std::make_shared<Window>();
    window->procedure = found->second;

    // Ids run in steps of 16 from 16, so none is NULL, HWND_MESSAGE or ever reused.
    s.lastId += 16;
    s.windows.emplace (s.lastId, std::move (window));
    return reinterpret_cast<HWND> (s.lastId);
}

LONG_PTR SetWindowLongPtrA (HWND handle, int index, LONG_PTR newValue)
{
    if (index != GWLP_USERDATA)
        return 0;

    auto& s = state();
    std::lock_guard<std::mutex> lock (s.mutex);

    if (auto window = findWindow (s, handle))
    {
        auto previous = window->userData;
        window->userData = newValue;
        return previous;
    }

    return 0;
}

LONG_PTR GetWindowLongPtrA (HWND handle, int index)
{
    if (index != GWLP_USERDATA)
        return 0;

    auto& s = state();
    std::lock_guard<std::mutex> lock (s.mutex);

    auto window = findWindow (s, handle);
    return window != nullptr ? window->userData : 0;
}

BOOL GetMessageA (MSG* message, HWND handle, UINT filterMin, UINT filterMax)
{
    if (message == nullptr)
        return -1;

    auto& s = state();
    std::unique_lock<std::mutex> lock (s.mutex);

    // Holding its own reference, the wait outlives the window's removal from the table.
    auto window = findWindow (s, handle);

    if (window == nullptr)
        return -1;

    for (;;)
    {
        if (window->destroyed)
            return -1;

        auto& queue = window->queue;
        auto next = std::find_if (queue.begin(), queue.end(),
                                  [=] (const MSG& m) { return inFilter (m.message, filterMin, filterMax); });

        if (next != queue.end())
        {
            *message = *next;
            queue.erase (next);
            return message->message == quitMessage ? 0 : 1;
        }

        window->queueChanged.wait (lock);
    }
}

BOOL TranslateMessage (const MSG*)
{
    return FALSE;   // there are no key messages to turn into characters
}

LRESULT DispatchMessageA (const MSG* message)
{
    if (message == nullptr)
        return 0;

    auto window = lookUp (message->hwnd);

    if (window == nullptr)
        return 0;

    return window->procedure (message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT DefWindowProcA (HWND handle, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        destroyWindow (handle);

    return 0;
}

BOOL PostMessageA (HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& s = state();
    std::lock_guard<std::mutex> lock (s.mutex);

    auto window = findWindow (s, handle);

    if (window == nullptr)
        return FALSE;

    MSG m;
    std::memset (&m, 0, sizeof (m));
    m.hwnd = handle;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = tickCount();

    window->queue.push_back (m);
    window->queueChanged.notify_all();
    return TRUE;
}

HMODULE GetModuleHandleA (LPCSTR moduleName)
{
    // Only the program's own module is ever asked for; its handle just has to be
    // stable and not null.
    static char moduleTag;
    return moduleName == nullptr ? reinterpret_cast<HMODULE> (&moduleTag) : nullptr;
}

} // extern "C"
