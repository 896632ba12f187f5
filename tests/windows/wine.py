"""Running the Windows build under Wine, for tests/e2e/test_windows_*.py.

The Windows build folder is $VESK2_WINDOWS_BUILD, else build/win in the source tree.
Its Wine prefix is <build>/wineprefix, made once (wineboot -i, a few seconds) and kept
for the following runs; WINEDEBUG=-all keeps Wine quiet. Every Wine process of that
prefix is one the tests started, so the tests end them all with `wineserver -k`.
"""

import fcntl
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402  (the shared X session, screenshots and call log)

WIN_BUILD = os.path.abspath(os.environ.get("VESK2_WINDOWS_BUILD", os.path.join(ROOT, "build", "win")))
WIN_BIN = os.path.join(WIN_BUILD, "bin")
PREFIX = os.path.join(WIN_BUILD, "wineprefix")
PROGRAM = os.path.join(WIN_BIN, "Vesk2ControlPanel.exe")
DRIVER = os.path.join(WIN_BIN, "tusbaudioapi.dll")
SIM_TOOL = os.path.join(WIN_BIN, "vesk2-sim.exe")
BROADCAST = os.path.join(WIN_BIN, "vesk2-broadcast.exe")
PROBE = os.path.join(WIN_BIN, "vesk2-winprobe.exe")
UIAWALK = os.path.join(WIN_BIN, "vesk2-uiawalk.exe")
TITLE = harness.TITLE

WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"

# Mono and Gecko are not installed; without this, wineboot offers to download them.
# Without winemenubuilder, a Start-menu shortcut made in a prefix adds no menu entry
# and icons to the host user's desktop.
BASE_ENV = {"WINEPREFIX": PREFIX, "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml,winemenubuilder.exe="}


# Regions of the 500 x 350 panel, relative to the client area: the line that shows the
# firmware or "Vesk 2 not connected", the combo box and the slider with its value box,
# both drawn faint while disabled.
PANEL_REGIONS = {"status line": (0, 206, 220, 22), "combo box": (225, 95, 250, 21),
                 "combo text": harness.PANEL_REGIONS["combo"],      # clear of the focus outline
                 "slider": (225, 210, 250, 70), "value box": (275, 257, 150, 23)}


def skip_reason():
    """Why the Windows checks cannot run here, or None."""
    if not os.path.isdir(WIN_BUILD):
        return f"no Windows build in {WIN_BUILD} (cmake --preset windows && cmake --build --preset windows)"
    for path in (PROGRAM, DRIVER, SIM_TOOL, BROADCAST, PROBE, UIAWALK):
        if not os.path.isfile(path):
            return f"the Windows build lacks {os.path.relpath(path, WIN_BUILD)}"
    if not os.access(WINE, os.X_OK):
        return "wine64 is not installed (scripts/install-deps.sh)"
    return None


def windows_path(path):
    """The path as a Windows program sees it through Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def drive_c(*parts, prefix=PREFIX):
    return os.path.join(prefix, "drive_c", *parts)


def prefix_env(prefix):
    return dict(BASE_ENV, WINEPREFIX=prefix)


def ensure_prefix(prefix=PREFIX):
    """Makes the Wine prefix unless an earlier run did; safe for parallel test files.
    Another prefix than the shared one serves a check that needs a fresh Windows."""
    os.makedirs(os.path.dirname(prefix), exist_ok=True)
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        ready = os.path.join(prefix, ".vesk2-ready")
        if os.path.exists(ready):
            return
        shutil.rmtree(prefix, ignore_errors=True)
        env = dict(os.environ, **prefix_env(prefix))
        env.pop("DISPLAY", None)
        subprocess.run([WINE, "wineboot", "-i"], env=env, capture_output=True, timeout=300, check=True)
        subprocess.run([WINESERVER, "-w"], env=env, timeout=120, check=False)
        open(ready, "w").close()


def end_all_wine_processes(prefix=PREFIX):
    """Ends every process of the tests' prefix (all of them started by the tests)."""
    env = dict(os.environ, **prefix_env(prefix))
    subprocess.run([WINESERVER, "-k"], env=env, capture_output=True, timeout=60, check=False)
    subprocess.run([WINESERVER, "-w"], env=env, capture_output=True, timeout=60, check=False)


class Simulator(harness.Simulator):
    """The simulator's state and call log in a fresh folder, named for Windows programs."""

    def __init__(self):
        super().__init__()
        self.env = {"VESK2_SIM_STATE": windows_path(self.state), "VESK2_SIM_LOG": windows_path(self.log)}
        self.session_env = {}

    def __call__(self, *arguments, check=True):
        env = {**os.environ, **BASE_ENV, **self.session_env, **self.env}
        result = subprocess.run([WINE, SIM_TOOL, *arguments], env=env, capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError(f"vesk2-sim.exe {' '.join(arguments)} failed ({result.returncode}): {result.stderr}")
        return result


class WineProgram:
    """A Windows program run by wine64, which returns the program's exit code as its own."""

    def __init__(self, env, executable, *arguments):
        self.process = subprocess.Popen([WINE, executable, *arguments], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait(self, timeout):
        """The exit code, or None when the program still runs after timeout seconds."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def parse_window(line):
    """One line of vesk2-winprobe as a dict of texts, with the numbers split out."""
    fields = dict(item.split("=", 1) for item in line.split())
    window = {key: value for key, value in fields.items()}
    window["hwnd"] = fields["hwnd"]
    window["client"] = tuple(int(v) for v in fields["client"].split("x"))
    window["clientorigin"] = tuple(int(v) for v in fields["clientorigin"].split(","))
    window["window"] = tuple(int(v) for v in fields["window"].split(","))
    window["workarea"] = tuple(int(v) for v in fields["workarea"].split(","))
    for flag in ("sizable", "maximizebox", "minimizebox", "caption", "largeicon", "smallicon"):
        window[flag] = fields[flag] == "1"
    return window


class WineSession:
    """An X display (with openbox, or none for Wine's own virtual desktop) whose Wine
    processes share the tests' prefix."""

    def __init__(self, window_manager=True, width=harness.SCREEN_WIDTH, height=harness.SCREEN_HEIGHT,
                 virtual_desktop=None, prefix=PREFIX):
        """virtual_desktop: (width, height) to run every program of the session in Wine's
        own desktop window of that size, drawn by Wine with its own title bars."""
        self.prefix = prefix
        ensure_prefix(prefix)
        # One session at a time uses the prefix (test files run in parallel, or two test
        # runs at once): each ends every Wine process of the prefix when it starts and ends.
        self.lock = open(prefix + ".session.lock", "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        # A desktop process left from another display would serve this one wrongly.
        end_all_wine_processes(prefix)
        self.x = harness.XSession(window_manager=window_manager, width=width, height=height)
        self.env = dict(self.x.env, **prefix_env(prefix))
        self.programs = []
        self.virtual_desktop = virtual_desktop
        # Brings up the wineserver and its desktop process before anything races to start
        # them: two Wine programs started at once on a fresh server can stall each other.
        self.run_tool(PROBE, "list", TITLE, timeout=120)
        if virtual_desktop:
            self._reg("add", "HKCU\\Software\\Wine\\Explorer\\Desktops", "/v", "Default",
                      "/d", "%dx%d" % virtual_desktop, "/f")
            self._reg("add", "HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/d", "Default", "/f")

    def _reg(self, *arguments):
        subprocess.run([WINE, "reg", *arguments], env=self.env, capture_output=True, timeout=60, check=True)

    def close(self):
        for program in self.programs:
            program.stop()
        if self.virtual_desktop:
            self._reg("delete", "HKCU\\Software\\Wine\\Explorer", "/v", "Desktop", "/f")
        end_all_wine_processes(self.prefix)
        self.x.close()
        fcntl.flock(self.lock, fcntl.LOCK_UN)
        self.lock.close()

    def start(self, simulator, *arguments, executable=PROGRAM):
        env = dict(self.env, **simulator.env)
        program = WineProgram(env, executable, *arguments)
        self.programs.append(program)
        return program

    def run_tool(self, executable, *arguments, timeout=60, simulator=None):
        """Runs a console tool to its end; with simulator, against that simulator's state."""
        env = dict(self.env, **simulator.env) if simulator else self.env
        return subprocess.run([WINE, executable, *arguments], env=env, capture_output=True, text=True,
                              timeout=timeout)

    def windows(self, title=TITLE, polling=False):
        """The visible top-level windows titled title, as Windows reports them. A Wine
        program started while another one is still setting up its first window can stall
        for a minute: such a probe is given up after 8 seconds, and then, when polling
        for a window to appear, None is returned and the caller asks again; otherwise
        the probe is given the stall's minute and more, and then the check fails, since
        which windows there are is not known."""
        limit = 8 if polling else 120
        try:
            result = self.run_tool(PROBE, "list", title, timeout=limit)
        except subprocess.TimeoutExpired:
            if polling:
                return None
            raise AssertionError(f"vesk2-winprobe list {title!r} gave no answer within {limit} s")
        return [parse_window(line) for line in result.stdout.splitlines() if line.startswith("hwnd=")]

    def wait_for_windows(self, count, title=TITLE, timeout=30):
        """Waits until exactly count such windows are visible; returns them, or None on time-out."""
        found = wait_until(lambda: (lambda windows: windows if windows and len(windows) == count else None)(
            self.windows(title, polling=True)), timeout, 0.2)
        return found or None

    def request_close(self, window):
        """Posts WM_CLOSE, the request the system sends when the user closes a window."""
        return self.run_tool(PROBE, "close", window["hwnd"]).returncode == 0

    def client_origin(self, window):
        """Where the window's client area is now (the window manager may have moved it
        since it appeared), or None when it went away."""
        placed = [w for w in self.windows() if w["hwnd"] == window["hwnd"]]
        return placed[0]["clientorigin"] if len(placed) == 1 else None

    def settled_origin(self, window, simulator):
        """Where the window's client area is once the window manager has placed it and
        the panel has painted there and settled (harness.wait_for_settled), with the
        pointer off it; None when the window went away."""
        harness.park_mouse(self.x)
        origin = None
        for _ in range(5):
            placed = self.client_origin(window)
            if placed is None or placed == origin:
                return placed
            origin = placed
            if harness.wait_for_settled(self.x, simulator, origin, timeout=60) is None:
                raise AssertionError(f"the panel at {origin} never painted and settled")
        raise AssertionError("the window kept moving")

    def panel_view(self, origin, name=None):
        """PANEL_REGIONS as the screen shows them, keyed by region name."""
        return harness.panel_view(self.x, origin, name, PANEL_REGIONS)

    def broadcast(self, text):
        return self.run_tool(BROADCAST, text).returncode

    def screenshot(self, name=None):
        return self.x.screenshot(name)


def wait_until(predicate, timeout, interval=0.1):
    return harness.wait_until(predicate, timeout, interval)


def settle(seconds=1.0):
    time.sleep(seconds)
