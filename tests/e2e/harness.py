"""Shared pieces of the end-to-end tests: a virtual X display with a window
manager, the real program started against a simulator state of its own, the
vesk2-sim tool, xdotool and wmctrl for driving windows, screenshots (Pillow) with
pixel access, and the simulator's call log.

Environment (set by CTest): VESK2_BIN, the folder holding Vesk2ControlPanel and
vesk2-sim; VESK2_ARTEFACTS, where screenshots are kept.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import ImageGrab

BIN = os.environ.get("VESK2_BIN", os.path.join(os.path.dirname(__file__), "..", "..", "build", "debug", "bin"))
ARTEFACTS = os.environ.get("VESK2_ARTEFACTS", os.path.join(tempfile.gettempdir(), "vesk2-artefacts"))
PROGRAM = os.path.join(BIN, "Vesk2ControlPanel")
SIM_TOOL = os.path.join(BIN, "vesk2-sim")
TITLE = "Vesk 2 Control Panel"
PROBE_TITLE = "window manager probe"
SCREEN_WIDTH, SCREEN_HEIGHT = 1024, 768


def wait_until(predicate, timeout, interval=0.01):
    """Polls predicate until it returns a true value or timeout seconds pass; returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class XSession:
    """An Xvfb display on a free number, with openbox managing its windows."""

    def __init__(self, window_manager=True, width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
        # Messages go to files: a pipe nobody reads could fill and stall the server.
        self.xvfb_log = tempfile.TemporaryFile()
        self.logs = [self.xvfb_log]
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=self.xvfb_log, stderr=subprocess.STDOUT)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display)
        self.window_manager = None
        if not number or not wait_until(self._display_answers, 10):
            said = self._said(self.xvfb_log)
            self.close()
            raise RuntimeError(f"Xvfb did not start on {self.display}: {said!r}")
        if window_manager:
            self._start_window_manager()

    def _display_answers(self):
        return self.xvfb.poll() is None and self.run("xprop", "-root", "WM_NAME", check=False).returncode == 0

    @staticmethod
    def _said(log):
        log.seek(0)
        return log.read().decode(errors="replace")[-2000:]

    def _start_window_manager(self, attempts=3):
        """openbox, once it frames windows. Now and then, on a display just
        started, it could not open the display and ended at once; it is then
        started again, after a moment."""
        said = []
        for attempt in range(attempts):
            if attempt:
                time.sleep(1)
            self.logs.append(tempfile.TemporaryFile())
            log = self.logs[-1]
            self.window_manager = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                                   stdout=log, stderr=subprocess.STDOUT)
            wait_until(lambda: self._wm_running() or self.window_manager.poll() is not None, 10)
            if self.window_manager.poll() is None and self._wm_running() and self._wm_takes_on_windows(20):
                return
            code = self.window_manager.poll()
            said.append(f"{'it runs' if code is None else f'it ended with {code}'}, saying {self._said(log)!r}")
            if code is None:
                break
        self.close()
        raise RuntimeError(f"openbox did not start on {self.display}: " + "; ".join(said))

    def window_manager_runs(self):
        return self.window_manager is not None and self.window_manager.poll() is None

    def _wm_running(self):
        result = subprocess.run(["wmctrl", "-m"], env=self.env, capture_output=True, text=True)
        return result.returncode == 0

    def _wm_takes_on_windows(self, timeout):
        """True once openbox frames a probe window. It names itself the window
        manager before it has finished starting, and a window that a program maps
        in between, under load, was never taken on: the program's window then
        stayed unmapped. A probe that is not taken on in two seconds is replaced."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            probe = subprocess.Popen(["xmessage", "-title", PROBE_TITLE, "probe"], env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                framed = wait_until(lambda: any(self.is_managed(window)
                                                for window in self.find_windows(PROBE_TITLE)), 2, 0.05)
            finally:
                probe.kill()
                probe.wait()
            if framed:
                return True
        return False

    def close(self):
        for process in (self.window_manager, self.xvfb):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        for log in self.logs:
            log.close()

    def run(self, *command, check=True):
        return subprocess.run(list(command), env=self.env, capture_output=True, text=True, check=check)

    def find_windows(self, title=TITLE, pid=None):
        """Visible windows whose name is exactly title (optionally of one process)."""
        command = ["xdotool", "search", "--all", "--onlyvisible", "--name", f"^{title}$"]
        if pid is not None:
            command[2:2] = ["--pid", str(pid)]
        result = self.run(*command, check=False)
        return [int(line) for line in result.stdout.split()]

    def geometry(self, window):
        """(x, y, width, height) of a window's client area on the screen."""
        result = self.run("xwininfo", "-id", str(window))
        values = {}
        for line in result.stdout.splitlines():
            if ":" in line:
                key, value = line.split(":", 1)
                values[key.strip()] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def is_managed(self, window):
        """True once the window manager has framed the window (it sets WM_STATE then)."""
        result = self.run("xprop", "-id", str(window), "WM_STATE", check=False)
        return "window state:" in result.stdout

    def requested_position(self, window):
        """The position the program asked for in its size hints, or None."""
        result = self.run("xprop", "-id", str(window), "WM_NORMAL_HINTS")
        for line in result.stdout.splitlines():
            if "user specified location:" in line or "program specified location:" in line:
                x, y = line.split(":", 1)[1].split(",")
                return int(x), int(y)
        return None

    def frame_extents(self, window):
        """(left, right, top, bottom) of the window manager's frame around a window."""
        result = self.run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS")
        if "=" not in result.stdout:
            return 0, 0, 0, 0
        return tuple(int(v) for v in result.stdout.split("=", 1)[1].split(","))

    def request_close(self, window):
        """Asks the window manager to close the window, as its close button does."""
        self.run("wmctrl", "-i", "-c", hex(window))

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button))

    def drag(self, x0, y0, x1, y1, steps=10):
        self.run("xdotool", "mousemove", "--sync", str(x0), str(y0), "mousedown", "1")
        for i in range(1, steps + 1):
            self.run("xdotool", "mousemove", "--sync",
                     str(x0 + (x1 - x0) * i // steps), str(y0 + (y1 - y0) * i // steps))
            time.sleep(0.02)
        self.run("xdotool", "mouseup", "1")

    def key(self, *keys):
        self.run("xdotool", "key", *keys)

    def screenshot(self, name=None):
        """The whole screen as an Image; kept under ARTEFACTS as name.png when named."""
        image = Image(ImageGrab.grab(xdisplay=self.display))
        if name:
            os.makedirs(ARTEFACTS, exist_ok=True)
            image.picture.save(os.path.join(ARTEFACTS, name + ".png"))
        return image


class Image:
    """A screenshot: a Pillow image in RGB, read the way the tests read it."""

    def __init__(self, picture):
        self.picture = picture.convert("RGB")
        self.width, self.height = self.picture.size

    def pixel(self, x, y):
        return self.picture.getpixel((x, y))

    def region(self, x, y, width, height):
        """The pixels of a rectangle as RGB bytes, row by row, for comparing regions."""
        return self.picture.crop((x, y, x + width, y + height)).tobytes()

    def count(self, x, y, width, height, predicate):
        return sum(1 for colour in self.picture.crop((x, y, x + width, y + height)).getdata() if predicate(colour))


class Simulator:
    """A simulator state and call log of their own, in a fresh folder."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="vesk2-e2e-")
        self.state = os.path.join(self.folder, "state")
        self.log = os.path.join(self.folder, "calls.log")
        self.env = {"VESK2_SIM_STATE": self.state, "VESK2_SIM_LOG": self.log}

    def __call__(self, *arguments, check=True):
        result = subprocess.run([SIM_TOOL, *arguments], env=dict(os.environ, **self.env),
                                capture_output=True, text=True)
        if check and result.returncode != 0:
            raise AssertionError(f"vesk2-sim {' '.join(arguments)} failed: {result.stderr}")
        return result

    def calls(self):
        """The call log as (micros, name, rest) tuples."""
        if not os.path.exists(self.log):
            return []
        entries = []
        with open(self.log) as log:
            for line in log:
                # A line still being appended (no newline yet) is read whole next
                # time; what is not an entry at all is left out.
                parts = line.rstrip("\n").split(" ", 2)
                if line.endswith("\n") and len(parts) >= 2 and parts[0].isdigit():
                    entries.append((int(parts[0]), parts[1], parts[2] if len(parts) > 2 else ""))
        return entries

    def call_names(self):
        return [name for _, name, _ in self.calls()]

    def clear_log(self):
        if os.path.exists(self.log):
            os.remove(self.log)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


class Program:
    """The real program, started in a session against a simulator."""

    def __init__(self, session, simulator, *arguments, env=None, executable=PROGRAM):
        environment = dict(session.env, **simulator.env)
        if env:
            environment.update(env)
        self.process = subprocess.Popen([executable, *arguments], env=environment,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.session = session
        self.output = None

    @property
    def pid(self):
        return self.process.pid

    def wait_for_window(self, timeout=15):
        """The program's window once the window manager has taken it on (a close
        request reaches only such a window) and it has stayed the same for a
        moment: JUCE makes the native window again when it takes the system's
        title bar, so the first window found may be gone a moment later. None
        when the program ends first (its output is then kept in self.output) or
        no window stays for timeout seconds."""
        deadline = time.monotonic() + scaled(timeout)
        previous = None
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                self.keep_output()
                return None
            windows = self.session.find_windows(pid=self.pid)
            current = windows[0] if len(windows) == 1 else None
            if current is not None and current == previous and (
                    self.session.is_managed(current) if self.session.window_manager is not None
                    else self.session.run("xwininfo", "-id", str(current), check=False).returncode == 0):
                return current
            previous = current
            time.sleep(scaled(0.1))
        return None

    def keep_output(self):
        """Reads what the program printed, once it has ended, into self.output."""
        if self.output is None and self.process.stdout:
            self.output = self.process.stdout.read().decode(errors="replace")

    def how_it_ended(self):
        """For a failure message: the exit code and output, or that it still runs
        and which of its windows there are."""
        code = self.process.poll()
        if code is None:
            windows = self.session.find_windows(pid=self.pid)
            managed = [window for window in windows if self.session.is_managed(window)]
            found = self.session.run("xdotool", "search", "--pid", str(self.pid), check=False).stdout.split()
            unmapped = [window for window in map(int, found) if window not in windows]
            return (f"the program still runs, with windows {windows} ({len(managed)} taken on by the "
                    f"window manager, which {'runs' if self.session.window_manager_runs() else 'has ended'}) "
                    f"and unmapped windows {unmapped}")
        self.keep_output()
        return f"the program ended with {code}, printing: {self.output!r}"

    def wait(self, timeout=10):
        """The exit code, or None when the program still runs after timeout seconds."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process.stdout:
            self.process.stdout.close()


# The same text drawn by a whole-window paint and by a repaint of part of it can
# differ by a level of anti-aliasing in a glyph: where a glyph's edge falls
# between pixels is rounded against the corner of the area being painted, and
# which areas a repaint gathers depends on timing. A user sees no difference.
RENDERING_TOLERANCE = 2


def pixel_difference(first, second):
    """None when two regions of raw pixels are the same to the eye (no channel
    more than RENDERING_TOLERANCE apart), else a description of how they differ."""
    if len(first) != len(second):
        return f"regions of {len(first)} and {len(second)} bytes"
    apart = [abs(a - b) for a, b in zip(first, second) if a != b]
    worst = max(apart, default=0)
    if worst <= RENDERING_TOLERANCE:
        return None
    return f"{len(apart)} channels differ, by up to {worst} levels"


class SessionTestCase(unittest.TestCase):
    """A test case with one X session for the class and a fresh simulator per test."""

    window_manager = True

    @classmethod
    def setUpClass(cls):
        cls.session = XSession(window_manager=cls.window_manager)

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.sim = Simulator()
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.stop()
        self.sim.remove()

    def start(self, *arguments, sim=None, **options):
        program = Program(self.session, sim or self.sim, *arguments, **options)
        self.programs.append(program)
        return program

    def open_window(self, *arguments, sim=None, **options):
        """Starts the program and returns (program, window); the test fails, with
        the program's exit code and output, when no window opens."""
        program = self.start(*arguments, sim=sim, **options)
        window = program.wait_for_window()
        self.assertIsNotNone(window, f"the window did not open: {program.how_it_ended()}")
        focus_window(self.session, window)
        return program, window

    def assertSamePixels(self, first, second, message=None):
        difference = pixel_difference(first, second)
        if difference is not None:
            self.fail(f"{message}: {difference}" if message else difference)

    def assertDifferentPixels(self, first, second, message=None):
        if pixel_difference(first, second) is None:
            self.fail(message or "the regions look the same")


# ---- Reading the panel, settling, and writing the simulator's state in bulk:
# ---- for the fault matrix, the notification storm and the shutdown tests.

import fcntl
import re

# Slow runs (valgrind) stretch every wait by this factor.
TIME_SCALE = float(os.environ.get("VESK2_TIME_SCALE", "1"))

# Panel coordinates at the window's 500 x 350: the two text lines, the inside of
# the combo box's text (clear of the focus outline and the drop-down button) and
# the whole slider with its value box.
PANEL_REGIONS = {
    "driver": (0, 183, 250, 16),
    "firmware": (0, 208, 250, 16),
    "combo": (228, 98, 226, 15),
    "slider": (225, 210, 250, 70),
    "corner": (1, 1, 4, 4),         # white once the panel has painted its gradient
}
COMBO_ITEM_IDS = (1, 2, 4, 8, 16, 32)
WRITE_FUNCTIONS = ("TUSBAUDIO_SetUsbStreamingMode", "TUSBAUDIO_SetASIOBufferSize")


def scaled(seconds):
    return seconds * TIME_SCALE


def client_origin(session, window):
    """The screen position of a window's client area. xdotool's own answer counts
    the window manager's frame twice, xwininfo's absolute corner does not."""
    output = session.run("xwininfo", "-id", str(window)).stdout
    x = int(re.search(r"Absolute upper-left X:\s+(-?\d+)", output).group(1))
    y = int(re.search(r"Absolute upper-left Y:\s+(-?\d+)", output).group(1))
    return x, y


def park_mouse(session):
    """Moves the pointer off the window, so nothing is drawn hovered. Not --sync:
    xdotool waits for a motion that never comes when the pointer is there already."""
    session.run("xdotool", "mousemove", "0", "0")


def panel_view(session, origin, name=None, regions=None):
    """The panel's regions (PANEL_REGIONS, or those given) as raw pixels, keyed by region name."""
    image = session.screenshot(name)
    x0, y0 = origin
    return {key: image.region(x0 + x, y0 + y, width, height)
            for key, (x, y, width, height) in (regions or PANEL_REGIONS).items()}


def has_dark_pixels(region, limit=96):
    """True when some pixel of a region has all three channels below limit (text)."""
    for offset in range(0, len(region) - 2, 3):
        if region[offset] < limit and region[offset + 1] < limit and region[offset + 2] < limit:
            return True
    return False


def log_size(simulator):
    return os.path.getsize(simulator.log) if os.path.exists(simulator.log) else 0


def painted_since(simulator, count):
    """True when the panel has painted since the first `count` log entries: each
    paint asks the driver for its version, whether or not that succeeds."""
    return any(name == "TUSBAUDIO_GetDriverInfo" for _, name, _ in simulator.calls()[count:])


def wait_for_settled(session, simulator, origin, process=None, quiet=0.4, timeout=20, painted_after=0):
    """Waits until the panel has painted after the first `painted_after` log
    entries, the call log has been still for `quiet` seconds and two views in a
    row are the same, and returns that view; None when the process ended or
    timeout passed first."""
    deadline = time.monotonic() + scaled(timeout)
    quiet = scaled(quiet)
    last_size, still_since, last_view = -1, time.monotonic(), None
    painted = painted_after is None
    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            return None
        size = log_size(simulator)
        if not painted and size != last_size:
            painted = painted_since(simulator, painted_after)
        if not painted:
            last_size = size
        elif size != last_size:
            last_size, still_since, last_view = size, time.monotonic(), None
        elif time.monotonic() - still_since >= quiet:
            # Painted at all (a slow first paint leaves the window's grey a while),
            # and the same a quiet spell later.
            view = panel_view(session, origin)
            if min(view["corner"]) < 0xf0:
                view = None
            if view is not None and view == last_view and log_size(simulator) == last_size:
                return view
            last_view = view
            still_since = time.monotonic()
        time.sleep(0.05)
    return None


def tap(session, x, y):
    """A click of the left button at (x, y). XSession.click's --sync waits for a
    motion that never comes when the pointer is there already; the move and the
    click travel on one connection, so they arrive in order anyway."""
    session.run("xdotool", "mousemove", str(x), str(y), "click", "1")


def combo_item_point(origin, item_id):
    """Where the open combo box's pop-up shows the item with item_id: the list
    starts just under the box, one row of 19 pixels per item."""
    index = COMBO_ITEM_IDS.index(item_id)
    return origin[0] + 300, origin[1] + 117 + 19 * index + 9


# How long a click may take to show its effect before the test calls it lost
# (stretched by scaled()): a hang limit, not a latency.
CLICK_LIMIT = 30


def lost_click(session, what, again):
    """A click showed no effect within CLICK_LIMIT. Under Wine, which now and then
    closes the combo box's pop-up as soon as it shows it, one more click is allowed
    (again), and said in the test's output; otherwise the test fails, with the
    screen kept."""
    if again:
        print(f"{what}: the first click was lost; clicking once more", file=sys.stderr, flush=True)
        return
    name = "lost-click-" + re.sub(r"\W+", "-", what).strip("-")
    session.screenshot(name)
    raise AssertionError(f"{what} within {scaled(CLICK_LIMIT):.0f} s "
                         f"(the screen is kept as {os.path.join(ARTEFACTS, name)}.png)")


def tries(retry):
    """For each click that may be made: whether one more may follow (see lost_click)."""
    return (True, False) if retry else (False,)


def area_around(session, x, y):
    """The pixels around (x, y): a pop-up's item row, or a control under the pointer."""
    return session.screenshot().region(x - 60, y - 8, 120, 16)


def pop_up_opened(session, origin, item_id):
    """Clicks the USB buffer size box; once its pop-up shows the item with item_id
    (two screenshots in a row alike, and unlike before), the time.monotonic() it was
    seen drawn; None when it has not within CLICK_LIMIT."""
    x, y = combo_item_point(origin, item_id)
    closed = area_around(session, x, y)
    tap(session, origin[0] + 300, origin[1] + 105)
    shown = []

    def pop_up_drawn():
        shown.append(area_around(session, x, y))
        return time.monotonic() if len(shown) >= 2 and shown[-1] == shown[-2] != closed else None

    return wait_until(pop_up_drawn, scaled(CLICK_LIMIT), 0.05)


def open_combo_popup(session, origin, item_id=COMBO_ITEM_IDS[-1], retry=False):
    """Clicks the USB buffer size box and waits until its pop-up shows the item with
    item_id; retry allows one more click (Wine)."""
    for again in tries(retry):
        if pop_up_opened(session, origin, item_id):
            return
        lost_click(session, "the combo box's pop-up did not show", again)


def point_at(session, x, y):
    """Moves the pointer to (x, y) and waits until the program has taken it in: what
    is under it drawn highlighted (a pop-up's item, a slider's thumb). JUCE
    highlights a pop-up's item under the pointer on a timer, and a click that comes
    first acts on the item highlighted before."""
    before = area_around(session, x, y)
    session.run("xdotool", "mousemove", str(x), str(y))
    if not wait_until(lambda: area_around(session, x, y) != before, scaled(CLICK_LIMIT), 0.05):
        lost_click(session, f"nothing at ({x}, {y}) was highlighted under the pointer", False)


# JUCE's pop-up menu ignores a release in its first 250 ms, as the release of the
# click that opened it. The menu is made before it is seen drawn, so a click that
# long after the drawn menu was seen always counts, however slow the program.
MENU_ARMING = 0.25


def click_item(session, origin, item_id, shown_at):
    """Clicks the item with item_id in the pop-up seen drawn at shown_at, once the
    pointer on it shows it highlighted and the menu takes releases."""
    x, y = combo_item_point(origin, item_id)
    point_at(session, x, y)
    time.sleep(max(0.0, shown_at + MENU_ARMING - time.monotonic()))
    tap(session, x, y)


def pick_until_written(session, sim, origin, item_id, retry=False):
    """Picks item_id from the USB buffer size box as a user does and waits for the
    write it makes; retry allows one more pick when a click is lost (Wine)."""
    for again in tries(retry):
        mark = len(sim.calls())
        shown_at = pop_up_opened(session, origin, item_id)
        if shown_at is None:
            lost_click(session, "the combo box's pop-up did not show", again)
            continue
        click_item(session, origin, item_id, shown_at)
        if wait_until(lambda: any(name == WRITE_FUNCTIONS[0] for _, name, _ in calls_after(sim, mark)),
                      scaled(CLICK_LIMIT)):
            return
        lost_click(session, f"picking item {item_id} wrote nothing", again)


def slider_end_point(origin, right):
    """A point on the ASIO buffer size slider's track past its last (or first)
    position: a click there sets 2048 (or 64)."""
    return origin[0] + (473 if right else 227), origin[1] + 233


def click_slider_end(session, origin, right):
    tap(session, *slider_end_point(origin, right))


def writes_in(entries):
    """The settings written to the driver: (function, value, status) in order."""
    writes = []
    for _, name, rest in entries:
        if name in WRITE_FUNCTIONS:
            match = re.match(r"(\d+) -> (\d+)", rest)
            writes.append((name, int(match.group(1)), int(match.group(2))))
    return writes


def calls_after(simulator, count):
    """The call-log entries after the first `count` ones."""
    return simulator.calls()[count:]


def resident_kilobytes(pid):
    """The process's resident set size (VmRSS) in kB, or None once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        return None
    return None


class StateWriter:
    """Changes the simulator's state file the way vesk2-sim does (under the lock
    file, whole file replaced by a rename), but thousands of times from one
    process: vesk2-sim started once per change is too slow for a storm."""

    def __init__(self, simulator):
        self.path = simulator.state
        if not os.path.exists(self.path):
            simulator("reset")
        self.lock_path = self.path + ".lock"
        self.changes = 0

    def _read(self):
        with open(self.path) as state:
            return state.read().splitlines()

    def _write(self, lines):
        temporary = f"{self.path}.tmp.storm.{os.getpid()}"
        with open(temporary, "w") as state:
            state.write("\n".join(lines) + "\n")
        os.rename(temporary, self.path)

    def toggle(self, firmware):
        """Unplugs the last interface if there is one, else plugs one with the
        given firmware word (a fresh serial); returns True when it plugged."""
        with open(self.lock_path, "a") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            lines = self._read()
            interfaces = [i for i, line in enumerate(lines) if line.startswith("interface ")]
            if interfaces:
                del lines[interfaces[-1]]
                plugged = False
            else:
                serial_line = next(i for i, line in enumerate(lines) if line.startswith("next-serial "))
                serial = int(lines[serial_line].split()[1])
                lines[serial_line] = f"next-serial {serial + 1}"
                lines.insert(serial_line + 1, f"interface {serial} product-id=16 firmware={firmware:x} usb-mode=0")
                plugged = True
            self._write(lines)
        self.changes += 1
        return plugged


def close_and_wait(session, program, window, timeout=10):
    """Asks the window to close, as its close button does, and waits for the exit
    code (None after timeout seconds). The request is repeated every second: one
    made while the window manager is still taking the new window on is lost."""
    deadline = time.monotonic() + scaled(timeout)
    while time.monotonic() < deadline:
        session.run("wmctrl", "-i", "-c", hex(window), check=False)
        code = program.wait(min(scaled(1.0), max(0.0, deadline - time.monotonic())))
        if code is not None:
            return code
    return program.process.poll()


def focus_window(session, window):
    """Gives the window the keyboard focus, as a click on it does, and waits until X
    reports it there. The window manager may leave a new window unfocused, and
    JUCE closes a pop-up menu as soon as it opens while none of its windows has
    the focus."""
    session.run("xdotool", "windowfocus", str(window), check=False)
    focused = lambda: session.run("xdotool", "getwindowfocus", check=False).stdout.strip() == str(window)
    assert wait_until(focused, scaled(10), 0.05), "the window did not get the keyboard focus"


def park_mouse_on_panel(session, origin):
    """Moves the pointer to the panel's bottom-left corner, clear of the controls,
    and then off the window: the controls see the pointer leave while it is still
    inside the window, so no hover look and no tip is left behind even when the
    program is slow to follow (valgrind)."""
    session.run("xdotool", "mousemove", str(origin[0] + 20), str(origin[1] + 330))
    time.sleep(scaled(0.1))
    park_mouse(session)
