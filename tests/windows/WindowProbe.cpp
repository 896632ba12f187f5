// vesk2-winprobe: looks at top-level windows from inside Windows (or Wine), where the
// tests cannot see through X11 what Windows itself reports.
//
//   vesk2-winprobe list TITLE                      one line per visible window titled TITLE
//   vesk2-winprobe wait TITLE COUNT TIMEOUT_MS     waits until COUNT such windows are
//                                                  visible, then lists them (exit 1 on time-out)
//   vesk2-winprobe close HWND                      posts WM_CLOSE, the system's close request
//   vesk2-winprobe window TITLE                    shows a window of its own titled TITLE, prints
//                                                  "shown", and runs until the window is closed
//   vesk2-winprobe hold PATH                       opens PATH for reading, sharing only reading,
//                                                  prints "held", and holds it until its input ends
//
// A listed line reads:
//   hwnd=0x1234 pid=56 client=500x350 clientorigin=X,Y window=L,T,R,B workarea=L,T,R,B style=0x... sizable=0
//   maximizebox=1 minimizebox=1 caption=1 largeicon=1 smallicon=1

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
    struct Search
    {
        std::wstring title;
        std::vector<HWND> found;
    };

    BOOL CALLBACK collect (HWND hwnd, LPARAM lParam)
    {
        auto& search = *reinterpret_cast<Search*> (lParam);

        if (! IsWindowVisible (hwnd))
            return TRUE;

        wchar_t text[256] = {};
        GetWindowTextW (hwnd, text, 255);

        if (search.title == text)
            search.found.push_back (hwnd);

        return TRUE;
    }

    std::vector<HWND> findWindows (const std::wstring& title)
    {
        Search search { title, {} };
        EnumWindows (&collect, reinterpret_cast<LPARAM> (&search));
        return search.found;
    }

    std::wstring widen (const char* text)
    {
        const int length = MultiByteToWideChar (CP_UTF8, 0, text, -1, nullptr, 0);
        std::wstring result ((size_t) (length > 0 ? length - 1 : 0), L'\0');

        if (length > 1)
            MultiByteToWideChar (CP_UTF8, 0, text, -1, result.data(), length);

        return result;
    }

    // Only the window class's icons: asking the window would wait on its owner's thread.
    bool hasIcon (HWND hwnd, int classIndex)
    {
        return GetClassLongPtrW (hwnd, classIndex) != 0;
    }

    void describe (HWND hwnd)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId (hwnd, &pid);

        RECT client {}, window {}, work {};
        GetClientRect (hwnd, &client);
        GetWindowRect (hwnd, &window);
        POINT origin { 0, 0 };
        ClientToScreen (hwnd, &origin);
        SystemParametersInfoW (SPI_GETWORKAREA, 0, &work, 0);

        const auto style = (DWORD) GetWindowLongPtrW (hwnd, GWL_STYLE);

        std::printf ("hwnd=0x%llx pid=%lu client=%ldx%ld clientorigin=%ld,%ld window=%ld,%ld,%ld,%ld workarea=%ld,%ld,%ld,%ld "
                     "style=0x%lx sizable=%d maximizebox=%d minimizebox=%d caption=%d largeicon=%d smallicon=%d\n",
                     (unsigned long long) (UINT_PTR) hwnd, (unsigned long) pid,
                     client.right - client.left, client.bottom - client.top, origin.x, origin.y,
                     window.left, window.top, window.right, window.bottom,
                     work.left, work.top, work.right, work.bottom,
                     (unsigned long) style, (style & WS_THICKFRAME) != 0, (style & WS_MAXIMIZEBOX) != 0,
                     (style & WS_MINIMIZEBOX) != 0, (style & WS_CAPTION) == WS_CAPTION,
                     hasIcon (hwnd, GCLP_HICON), hasIcon (hwnd, GCLP_HICONSM));
    }

    // Another program's window with the panel's title, for the checks that whatever
    // closes panels leaves it alone. Ends when it is closed.
    int showWindowTitled (const std::wstring& title)
    {
        WNDCLASSW windowClass {};
        windowClass.lpfnWndProc = [] (HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT
        {
            if (message == WM_DESTROY)
                PostQuitMessage (0);

            return DefWindowProcW (hwnd, message, wParam, lParam);
        };
        windowClass.hInstance = GetModuleHandleW (nullptr);
        windowClass.lpszClassName = L"Vesk2ProbeForeignWindow";

        if (RegisterClassW (&windowClass) == 0)
            return 1;

        const auto hwnd = CreateWindowExW (0, windowClass.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                           20, 20, 300, 120, nullptr, nullptr, windowClass.hInstance, nullptr);
        if (hwnd == nullptr)
            return 1;

        std::printf ("shown\n");
        std::fflush (stdout);

        MSG message;

        while (GetMessageW (&message, nullptr, 0, 0) > 0)
        {
            TranslateMessage (&message);
            DispatchMessageW (&message);
        }

        return 0;
    }

    // A process that keeps the file open and lets nobody write or delete it, as a
    // virus scanner or a backup program may.
    int holdFile (const std::wstring& path)
    {
        const auto file = CreateFileW (path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);

        if (file == INVALID_HANDLE_VALUE)
        {
            std::fprintf (stderr, "cannot open the file (%lu)\n", (unsigned long) GetLastError());
            return 1;
        }

        std::printf ("held\n");
        std::fflush (stdout);

        while (std::fgetc (stdin) != EOF)
            ;

        CloseHandle (file);
        return 0;
    }

    int usage()
    {
        std::fprintf (stderr, "usage: vesk2-winprobe list TITLE | wait TITLE COUNT TIMEOUT_MS | close HWND"
                              " | window TITLE | hold PATH\n");
        return 2;
    }
}

int main (int argc, char* argv[])
{
    if (argc < 3)
        return usage();

    const std::string command = argv[1];

    if (command == "list" && argc == 3)
    {
        for (auto hwnd : findWindows (widen (argv[2])))
            describe (hwnd);

        return 0;
    }

    if (command == "wait" && argc == 5)
    {
        const auto title = widen (argv[2]);
        const auto wanted = (size_t) std::atoi (argv[3]);
        const auto deadline = GetTickCount64() + (ULONGLONG) std::atoll (argv[4]);

        for (;;)
        {
            const auto found = findWindows (title);

            if (found.size() == wanted)
            {
                for (auto hwnd : found)
                    describe (hwnd);

                return 0;
            }

            if (GetTickCount64() >= deadline)
            {
                std::fprintf (stderr, "found %u windows, waited for %u\n", (unsigned) found.size(), (unsigned) wanted);
                return 1;
            }

            Sleep (100);
        }
    }

    if (command == "close" && argc == 3)
    {
        const auto hwnd = (HWND) (UINT_PTR) std::strtoull (argv[2], nullptr, 0);
        return PostMessageW (hwnd, WM_CLOSE, 0, 0) ? 0 : 1;
    }

    if (command == "window" && argc == 3)
        return showWindowTitled (widen (argv[2]));

    if (command == "hold" && argc == 3)
        return holdFile (widen (argv[2]));

    return usage();
}
