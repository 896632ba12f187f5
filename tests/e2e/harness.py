"""Shared pieces of the end-to-end tests: a virtual X display with a window
manager, the real program started against a simulator state of its own, the
vesk2-sim tool, xdotool and wmctrl for driving windows, screenshots with pixel
access, and the simulator's call log.

Environment (set by CTest): VESK2_BIN, the folder holding Vesk2ControlPanel and
vesk2-sim; VESK2_ARTEFACTS, where screenshots are kept.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

BIN = os.environ.get("VESK2_BIN", os.path.join(os.path.dirname(__file__), "..", "..", "build", "debug", "bin"))
ARTEFACTS = os.environ.get("VESK2_ARTEFACTS", os.path.join(tempfile.gettempdir(), "vesk2-artefacts"))
PROGRAM = os.path.join(BIN, "Vesk2ControlPanel")
SIM_TOOL = os.path.join(BIN, "vesk2-sim")
TITLE = "Vesk 2 Control Panel"
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
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display)
        self.window_manager = None
        if window_manager:
            self.window_manager = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(lambda: self._wm_running(), 5)

    def _wm_running(self):
        result = subprocess.run(["wmctrl", "-m"], env=self.env, capture_output=True, text=True)
        return result.returncode == 0

    def close(self):
        for process in (self.window_manager, self.xvfb):
            if process is not None and process.poll() is None:
                process.terminate()
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()

    def run(self, *command, check=True):
        return subprocess.run(list(command), env=self.env, capture_output=True, text=True, check=check)

    def find_windows(self, title=TITLE, pid=None):
        """Visible windows whose name is exactly title (optionally of one process)."""
        command = ["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"]
        if pid is not None:
            command[2:2] = ["--pid", str(pid)]
        result = self.run(*command, check=False)
        return [int(line) for line in result.stdout.split()]

    def geometry(self, window):
        """(x, y, width, height) of a window's client area on the screen."""
        result = self.run("xdotool", "getwindowgeometry", "--shell", str(window))
        values = dict(line.split("=", 1) for line in result.stdout.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

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
        """The whole screen as an Image; kept under ARTEFACTS when named."""
        with tempfile.TemporaryDirectory() as folder:
            xwd = os.path.join(folder, "screen.xwd")
            self.run("xwd", "-root", "-silent", "-out", xwd)
            ppm = subprocess.run(["convert", xwd, "ppm:-"], capture_output=True, check=True).stdout
            image = Image.from_ppm(ppm)
            if name:
                os.makedirs(ARTEFACTS, exist_ok=True)
                subprocess.run(["convert", xwd, os.path.join(ARTEFACTS, name + ".png")], check=True)
            return image


class Image:
    """An RGB picture with pixel access, read from binary PPM."""

    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    @staticmethod
    def from_ppm(data):
        fields = []
        position = 0
        while len(fields) < 4:
            while data[position:position + 1].isspace():
                position += 1
            if data[position:position + 1] == b"#":
                position = data.index(b"\n", position)
                continue
            end = position
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[position:end])
            position = end
        position += 1
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError("not an 8-bit binary PPM")
        return Image(int(fields[1]), int(fields[2]), data[position:])

    def pixel(self, x, y):
        offset = 3 * (y * self.width + x)
        return tuple(self.pixels[offset:offset + 3])

    def region(self, x, y, width, height):
        """The pixels of a rectangle, row by row, for comparing regions."""
        rows = []
        for row in range(y, y + height):
            offset = 3 * (row * self.width + x)
            rows.append(bytes(self.pixels[offset:offset + 3 * width]))
        return b"".join(rows)

    def count(self, x, y, width, height, predicate):
        total = 0
        for row in range(y, y + height):
            for column in range(x, x + width):
                if predicate(self.pixel(column, row)):
                    total += 1
        return total


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
                parts = line.rstrip("\n").split(" ", 2)
                if len(parts) >= 2:
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

    @property
    def pid(self):
        return self.process.pid

    def wait_for_window(self, timeout=15):
        windows = wait_until(lambda: self.session.find_windows(pid=self.pid) or self.process.poll() is not None,
                             timeout, 0.05)
        if windows is True or not windows:
            return None
        return windows[0]

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

    def start(self, *arguments, **options):
        program = Program(self.session, self.sim, *arguments, **options)
        self.programs.append(program)
        return program


def main():
    unittest.main(verbosity=2)
