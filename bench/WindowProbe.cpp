/*
    vesk2-window-probe: starts a program on the X display named by $DISPLAY and
    reports, in microseconds from the moment it was started, when its top-level
    window became viewable and when the window first showed the expected pixels.

    Meant for an Xvfb started with -br, so that a window nothing has painted yet
    shows black. Without a window manager the program's window is a direct child
    of the root window; with one, it is found within the frame the manager maps.
    Either way its pixels are what it drew.

    usage: vesk2-window-probe --title TITLE [--expect X,Y,RRGGBB]... [--tolerance N]
                              [--timeout-ms N] -- PROGRAM [ARGUMENT...]

    Lines on standard output, each flushed at once:
        pid PID             the program was started
        epoch MICROS        when, on the system clock (the simulator's call log
                            uses it), so that logged calls can be placed
        visible MICROS      a top-level window named TITLE is mapped
        painted MICROS      every --expect pixel of that window is within
                            TOLERANCE of its colour (only with --expect)
        timeout             nothing more came within --timeout-ms
        ended STATUS        the program ended by itself (wait status)
    Once it has printed what it waits for (or timed out), the probe keeps the
    program running until its own standard input ends, then sends it SIGTERM
    (SIGKILL after 5 s) and prints "stopped STATUS".

    Map events come from the root window's SubstructureNotify, so the probe
    sleeps until the X server reports a window; only between the map and the
    first paint does it look at the pixels, every half millisecond.
*/
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
using Clock = std::chrono::steady_clock;

struct ExpectedPixel
{
    int x = 0, y = 0;
    unsigned long rgb = 0;
};

struct Options
{
    std::string title;
    std::vector<ExpectedPixel> expected;
    int tolerance = 4;
    long timeoutMs = 20000;
    std::vector<char*> command;
};

int xErrors = 0;

// Windows come and go under the probe (a window is made again when it takes its
// native title bar): a request about one that is gone fails, and that is fine.
int countXError (Display*, XErrorEvent*)
{
    ++xErrors;
    return 0;
}

[[noreturn]] void usage (const char* message)
{
    std::fprintf (stderr, "vesk2-window-probe: %s\n"
                          "usage: vesk2-window-probe --title TITLE [--expect X,Y,RRGGBB]... [--tolerance N]\n"
                          "                          [--timeout-ms N] -- PROGRAM [ARGUMENT...]\n", message);
    std::exit (2);
}

Options parseOptions (int argc, char** argv)
{
    Options options;
    int i = 1;

    for (; i < argc; ++i)
    {
        const std::string option = argv[i];

        if (option == "--")
        {
            ++i;
            break;
        }

        if (i + 1 >= argc)
            usage ((option + " needs a value").c_str());

        const char* value = argv[++i];

        if (option == "--title")
        {
            options.title = value;
        }
        else if (option == "--expect")
        {
            ExpectedPixel pixel;

            if (std::sscanf (value, "%d,%d,%lx", &pixel.x, &pixel.y, &pixel.rgb) != 3)
                usage ("--expect takes X,Y,RRGGBB");

            options.expected.push_back (pixel);
        }
        else if (option == "--tolerance")
        {
            options.tolerance = std::atoi (value);
        }
        else if (option == "--timeout-ms")
        {
            options.timeoutMs = std::atol (value);
        }
        else
        {
            usage (("unknown option " + option).c_str());
        }
    }

    if (options.title.empty())
        usage ("--title is required");

    if (i >= argc)
        usage ("no program given");

    for (; i < argc; ++i)
        options.command.push_back (argv[i]);

    options.command.push_back (nullptr);
    return options;
}

void say (const char* format, long long value)
{
    std::printf (format, value);
    std::putchar ('\n');
    std::fflush (stdout);
}

long long microsSince (Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds> (Clock::now() - start).count();
}

// JUCE writes the title as UTF-8, which XFetchName (type STRING only) misses;
// the bytes are compared whatever the property's type.
bool hasTitle (Display* display, Window window, const std::string& title)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;

    const int errorsBefore = xErrors;

    if (XGetWindowProperty (display, window, XA_WM_NAME, 0, 1024, False, AnyPropertyType,
                            &type, &format, &count, &left, &data) != Success
        || xErrors != errorsBefore || data == nullptr)
        return false;

    const bool same = format == 8 && title == std::string (reinterpret_cast<const char*> (data), count);
    XFree (data);
    return same;
}

// The window titled TITLE: the one given, or under a window manager, a window
// within the frame it was given (the frame is what the root window sees mapped).
Window findTitled (Display* display, Window window, const std::string& title, int depth = 2)
{
    if (hasTitle (display, window, title))
        return window;

    Window rootReturn = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    const int errorsBefore = xErrors;
    Window found = 0;

    if (depth > 0 && XQueryTree (display, window, &rootReturn, &parent, &children, &count) != 0
        && xErrors == errorsBefore)
    {
        for (unsigned int i = 0; i < count && found == 0; ++i)
            found = findTitled (display, children[i], title, depth - 1);
    }

    if (children != nullptr)
        XFree (children);

    return found;
}

bool isViewable (Display* display, Window window)
{
    XWindowAttributes attributes;
    const int errorsBefore = xErrors;
    return XGetWindowAttributes (display, window, &attributes) != 0 && xErrors == errorsBefore
           && attributes.map_state == IsViewable;
}

// One channel of a pixel, scaled to 8 bits, from the image's mask for it.
unsigned long channel (unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;

    int shift = 0;

    while (((mask >> shift) & 1) == 0)
        ++shift;

    const auto bits = mask >> shift;
    const auto value = (pixel & mask) >> shift;
    return bits == 0xff ? value : value * 255 / bits;
}

bool pixelMatches (Display* display, Window window, const ExpectedPixel& expected, int tolerance)
{
    const int errorsBefore = xErrors;
    XImage* image = XGetImage (display, window, expected.x, expected.y, 1, 1, AllPlanes, ZPixmap);

    if (image == nullptr || xErrors != errorsBefore)
    {
        if (image != nullptr)
            XDestroyImage (image);

        return false;
    }

    const auto pixel = XGetPixel (image, 0, 0);
    const unsigned long got[] = { channel (pixel, image->red_mask),
                                  channel (pixel, image->green_mask),
                                  channel (pixel, image->blue_mask) };
    XDestroyImage (image);

    const unsigned long want[] = { (expected.rgb >> 16) & 0xff, (expected.rgb >> 8) & 0xff, expected.rgb & 0xff };

    for (int c = 0; c < 3; ++c)
        if (std::labs ((long) got[c] - (long) want[c]) > tolerance)
            return false;

    return true;
}

pid_t startProgram (const Options& options)
{
    // The program's output must not mix with the probe's lines, nor may it read
    // the probe's standard input.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init (&actions);
    posix_spawn_file_actions_addopen (&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2 (&actions, 2, 1);

    pid_t pid = 0;
    const int error = posix_spawnp (&pid, options.command[0], &actions, nullptr, options.command.data(), environ);
    posix_spawn_file_actions_destroy (&actions);

    if (error != 0)
    {
        std::fprintf (stderr, "vesk2-window-probe: cannot start %s: %s\n", options.command[0], std::strerror (error));
        std::exit (1);
    }

    return pid;
}

void stopProgram (pid_t pid)
{
    kill (pid, SIGTERM);
    int status = 0;

    for (int i = 0; i < 500; ++i)
    {
        if (waitpid (pid, &status, WNOHANG) == pid)
        {
            say ("stopped %lld", status);
            return;
        }

        usleep (10000);
    }

    kill (pid, SIGKILL);
    waitpid (pid, &status, 0);
    say ("stopped %lld", status);
}

// Blocks until standard input ends, or the program ends by itself. Asleep in
// between, so that it costs nothing while the program is measured idle.
void holdUntilInputEnds (pid_t pid)
{
    const int processFd = static_cast<int> (syscall (SYS_pidfd_open, pid, 0));
    char buffer[256];

    for (;;)
    {
        pollfd fds[2] = { { 0, POLLIN, 0 }, { processFd, POLLIN, 0 } };
        const nfds_t count = processFd >= 0 ? 2 : 1;

        // Without a pidfd (an old kernel) the program's end is looked for once a second.
        if (poll (fds, count, processFd >= 0 ? -1 : 1000) > 0 && (fds[0].revents & (POLLIN | POLLHUP)) != 0)
        {
            const auto got = read (0, buffer, sizeof (buffer));

            if (got <= 0)
                break;
        }

        int status = 0;

        if (waitpid (pid, &status, WNOHANG) == pid)
        {
            say ("ended %lld", status);
            std::exit (0);
        }
    }

    if (processFd >= 0)
        close (processFd);
}
} // namespace

int main (int argc, char** argv)
{
    const auto options = parseOptions (argc, argv);

    Display* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::fprintf (stderr, "vesk2-window-probe: cannot open the display %s\n", std::getenv ("DISPLAY"));
        return 1;
    }

    XSetErrorHandler (countXError);
    const Window root = DefaultRootWindow (display);
    XSelectInput (display, root, SubstructureNotifyMask);
    XSync (display, False);

    const auto start = Clock::now();
    const auto startOnSystemClock = std::chrono::system_clock::now();
    const auto deadline = start + std::chrono::milliseconds (options.timeoutMs);
    const pid_t pid = startProgram (options);
    say ("pid %lld", pid);
    say ("epoch %lld", std::chrono::duration_cast<std::chrono::microseconds> (startOnSystemClock.time_since_epoch()).count());

    Window window = 0, topLevel = 0;     // the titled window, and its frame or itself
    bool visible = false, painted = false;
    const bool wantsPaint = ! options.expected.empty();

    while (! (visible && (painted || ! wantsPaint)))
    {
        while (XPending (display) > 0)
        {
            XEvent event;
            XNextEvent (display, &event);

            if (event.type == CreateNotify && event.xcreatewindow.parent == root)
            {
                // In case the title comes after the window is mapped.
                XSelectInput (display, event.xcreatewindow.window, PropertyChangeMask);
            }

            Window shown = 0;

            if (event.type == MapNotify && event.xmap.event == root)
                shown = event.xmap.window;
            else if (event.type == PropertyNotify && event.xproperty.atom == XA_WM_NAME && isViewable (display, event.xproperty.window))
                shown = event.xproperty.window;

            const Window titled = shown != 0 ? findTitled (display, shown, options.title) : 0;

            if (titled != 0)
            {
                window = titled;
                topLevel = shown;

                if (! visible)
                {
                    visible = true;
                    say ("visible %lld", microsSince (start));
                }
            }
            else if ((event.type == UnmapNotify && (event.xunmap.window == window || event.xunmap.window == topLevel))
                     || (event.type == DestroyNotify && (event.xdestroywindow.window == window
                                                         || event.xdestroywindow.window == topLevel)))
            {
                window = topLevel = 0;
            }
        }

        if (window != 0 && wantsPaint && ! painted)
        {
            bool all = true;

            for (const auto& pixel : options.expected)
                all = all && pixelMatches (display, window, pixel, options.tolerance);

            if (all)
            {
                painted = true;
                say ("painted %lld", microsSince (start));
                continue;
            }
        }

        int status = 0;

        if (waitpid (pid, &status, WNOHANG) == pid)
        {
            say ("ended %lld", status);
            return 0;
        }

        if (Clock::now() >= deadline)
        {
            std::puts ("timeout");
            std::fflush (stdout);
            break;
        }

        // Asleep until the server reports something; while a mapped window is
        // waiting for its first paint, the pixels are looked at every 0.5 ms.
        const int waitMs = (window != 0 && wantsPaint) ? 0 : 10;
        pollfd connection { ConnectionNumber (display), POLLIN, 0 };

        if (waitMs == 0)
        {
            const timespec halfAMillisecond { 0, 500000 };
            ppoll (&connection, 1, &halfAMillisecond, nullptr);
        }
        else
        {
            poll (&connection, 1, waitMs);
        }
    }

    holdUntilInputEnds (pid);
    stopProgram (pid);
    XCloseDisplay (display);
    return 0;
}
