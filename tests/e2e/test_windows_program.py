"""The Windows build of the program, run under Wine: its command line, its window as
Windows reports it, closing, several instances, JUCE's inter-process broadcast, and
the driver's plug-and-play message reaching the running program.

Needs the Windows build (cmake --preset windows && cmake --build --preset windows) and
wine64; skipped otherwise. Screenshots are kept in $VESK2_ARTEFACTS.
"""

import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "windows"))

import wine  # noqa: E402

START_TIMEOUT = 60     # a first start under Wine loads many DLLs
EXIT_TIMEOUT = 30

SKIP = wine.skip_reason()


def setUpModule():
    if not SKIP:
        wine.ensure_prefix()


class WineTestCase(unittest.TestCase):
    """One X session with a window manager for the class, a fresh simulator per test."""

    window_manager = True
    virtual_desktop = None

    @classmethod
    def setUpClass(cls):
        cls.session = wine.WineSession(window_manager=cls.window_manager, virtual_desktop=cls.virtual_desktop)

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def setUp(self):
        self.sim = wine.Simulator()

    def tearDown(self):
        for program in self.session.programs:
            program.stop()
        self.session.programs.clear()
        # Leaves no window of this test for the next one to count.
        wine.wait_until(lambda: not self.session.windows(), 15)
        self.sim.remove()

    def start(self, *arguments, **options):
        return self.session.start(self.sim, *arguments, **options)

    def one_window(self):
        """The program's window once it has its native title bar: JUCE makes the window
        again for it, so the handle seen first may not last."""
        seen = []

        def final_window():
            windows = self.session.windows()
            seen[:] = [(w["hwnd"], w["style"]) for w in windows]
            return windows if len(windows) == 1 and windows[0]["caption"] else None

        if self.session.wait_for_windows(1, timeout=START_TIMEOUT) is None:
            self.session.screenshot("windows-no-window")
            probe = self.session.run_tool(wine.PROBE, "list", wine.TITLE)
            self.fail(f"no window titled {wine.TITLE!r} appeared; calls: {self.sim.call_names()}; "
                      f"probe: {probe.returncode} {probe.stdout!r} {probe.stderr[-300:]!r}")
        windows = wine.wait_until(final_window, START_TIMEOUT, 0.2)
        self.assertTrue(windows, f"the window never got its native title bar: {seen}")
        return windows[0]

    def assertSamePixels(self, first, second, message):
        self.assertTrue(first == second, message)

    def assertDifferentPixels(self, first, second, message):
        self.assertTrue(first != second, message)

    def assertEndsAtOnceWithoutWindow(self, program, what):
        self.assertEqual(program.wait(EXIT_TIMEOUT), 0, f"{what}: did not end with exit code 0")
        self.assertEqual(self.session.windows(), [], f"{what}: a window is left")


@unittest.skipIf(SKIP, SKIP or "")
class CommandLineTest(WineTestCase):

    def test_ExitOptionsEndTheProgramAtOnceWithoutWindowOrDriverCall(self):
        for argument in ("-hide", "-EXITALL", "abc-hidexyz"):
            with self.subTest(argument=argument):
                self.sim.clear_log()
                started = time.monotonic()
                program = self.start(argument)
                self.assertEndsAtOnceWithoutWindow(program, argument)
                self.assertLess(time.monotonic() - started, EXIT_TIMEOUT)
                self.assertEqual(self.sim.calls(), [], f"{argument}: the driver was called")

    def test_SlashHideIsNoOptionAndTheWindowOpens(self):
        program = self.start("/hide")
        self.one_window()
        self.assertTrue(program.running())
        self.assertIn("TUSBAUDIO_EnumerateDevices", self.sim.call_names())

    def test_OptionLettersInTheQuotedProgramPathDoNotCount(self):
        folder = wine.drive_c("Program Files", "Vesk -hide test")
        os.makedirs(folder, exist_ok=True)
        for path in (wine.PROGRAM, wine.DRIVER):
            shutil.copy2(path, folder)
        copy = "C:\\Program Files\\Vesk -hide test\\Vesk2ControlPanel.exe"

        # wine64 quotes a program path with spaces on the command line it builds.
        program = self.start(executable=copy)
        self.one_window()
        self.assertTrue(program.running())
        program.stop()
        self.assertTrue(wine.wait_until(lambda: not self.session.windows(), 15))

        self.sim.clear_log()
        program = self.start("-hide", executable=copy)
        self.assertEndsAtOnceWithoutWindow(program, "quoted path and -hide")
        self.assertEqual(self.sim.calls(), [])


@unittest.skipIf(SKIP, SKIP or "")
class MainWindowTest(WineTestCase):

    def test_WindowIsTitled500By350WithNativeTitleBarAndCentredOnTheWorkArea(self):
        self.start()
        window = self.one_window()

        self.assertEqual(window["client"], (500, 350))
        self.assertTrue(window["caption"], "no native title bar")
        self.assertTrue(window["minimizebox"] and window["maximizebox"])
        self.assertFalse(window["sizable"], "the window has a resizable frame")

        left, top, right, bottom = window["workarea"]
        width, height = right - left, bottom - top
        self.assertEqual(window["clientorigin"], (left + width // 2 - 250, top + height // 2 - 175))

    def test_CloseRequestEndsTheProgramWithExitCodeZero(self):
        program = self.start()
        window = self.one_window()
        self.assertTrue(self.session.request_close(window))
        self.assertEqual(program.wait(EXIT_TIMEOUT), 0)
        self.assertEqual(self.session.windows(), [])
        # The panel was deleted on the way: its notifier left the driver.
        self.assertIn("TUSBAUDIO_UnregisterPnpNotification", self.sim.call_names())

    def test_SecondStartWithoutOptionsOpensASecondWindow(self):
        first = self.start()
        self.one_window()
        second = self.start()
        windows = self.session.wait_for_windows(2, timeout=START_TIMEOUT)
        self.assertIsNotNone(windows, "the second start opened no window of its own")
        self.assertNotEqual(windows[0]["pid"], windows[1]["pid"])
        self.assertTrue(first.running() and second.running())

    def test_SecondStartWithExitAllEndsOnlyItself(self):
        first = self.start()
        window = self.one_window()
        second = self.start("-exitall")
        self.assertEqual(second.wait(EXIT_TIMEOUT), 0)
        wine.settle(1)
        self.assertTrue(first.running())
        self.assertEqual([w["hwnd"] for w in self.session.windows()], [window["hwnd"]])


@unittest.skipIf(SKIP, SKIP or "")
class BroadcastTest(WineTestCase):

    def test_BroadcastExitAllEndsTheRunningProgram(self):
        program = self.start()
        self.one_window()
        self.assertEqual(self.session.broadcast(wine.TITLE + "/-exitall"), 0)
        self.assertEqual(program.wait(EXIT_TIMEOUT), 0)
        self.assertEqual(self.session.windows(), [])

    def test_BroadcastHideOrOtherApplicationsExitAllLeavesItRunning(self):
        program = self.start()
        window = self.one_window()
        for text in (wine.TITLE + "/-hide", "Another Program/-exitall", "-exitall"):
            with self.subTest(text=text):
                self.assertEqual(self.session.broadcast(text), 0)
                wine.settle(1.5)
                self.assertTrue(program.running())
                self.assertEqual([w["hwnd"] for w in self.session.windows()], [window["hwnd"]])


@unittest.skipIf(SKIP, SKIP or "")
class DeviceChangeTest(WineTestCase):
    """vesk2-sim.exe plugs and unplugs; the library in the program posts message 1024 to
    the program's real message-only window, and the panel reacts."""

    # Regions of the 500 x 350 panel, relative to the client area: the line that shows the
    # firmware or "Vesk 2 not connected", and the combo box, drawn faint while disabled.
    STATUS_LINE = (0, 206, 220, 22)
    COMBO_BOX = (225, 95, 250, 21)

    def wait_for_call_after(self, marker, name, timeout=20):
        """Waits for the call log to hold marker and then a call of name; returns the log."""
        def found():
            lines = [f"{n} {rest}".strip() for _, n, rest in self.sim.calls()]
            if marker in lines:
                index = lines.index(marker)
                return name is None or any(line.split(" ", 1)[0] == name for line in lines[index + 1:])
            return False

        wine.wait_until(found, timeout, 0.2)
        return [f"{n} {rest}".strip() for _, n, rest in self.sim.calls()]

    def test_PlugAndUnplugReachTheRunningProgramThroughItsMessageWindow(self):
        self.sim("unplug")
        self.start()
        window = self.one_window()
        self.assertTrue(wine.wait_until(lambda: "TUSBAUDIO_GetDriverInfo" in self.sim.call_names(), 30),
                        "the panel never painted its driver line")
        disconnected_at_start = self.picture(window, "windows-no-interface")

        self.sim("plug")
        log = self.wait_for_call_after("POST 1024 1", "TUSBAUDIO_GetASIOBufferSize")
        self.assertIn("POST 1024 1", log, "the arrival never reached the program's message window")
        after_arrival = [line.split(" ", 1)[0] for line in log[log.index("POST 1024 1") + 1:]]
        for call in ("TUSBAUDIO_EnumerateDevices", "TUSBAUDIO_GetUsbStreamingMode", "TUSBAUDIO_GetASIOBufferSize"):
            self.assertIn(call, after_arrival, f"the arrival was not followed by the panel's rescan ({call})")
        connected = self.picture(window, "windows-plugged-in")

        self.sim.clear_log()
        self.sim("unplug")
        log = self.wait_for_call_after("POST 1024 2", None)
        self.assertIn("POST 1024 2", log, "the removal never reached the program's message window")
        removed = self.picture(window, "windows-unplugged")

        for name, area in (("status line", self.STATUS_LINE), ("combo box", self.COMBO_BOX)):
            with self.subTest(region=name):
                self.assertDifferentPixels(self.region(connected, area),
                                           self.region(disconnected_at_start, area),
                                           f"the {name} did not change when the interface arrived")
        self.assertSamePixels(self.region(removed, self.STATUS_LINE),
                              self.region(disconnected_at_start, self.STATUS_LINE),
                              f"the status line does not read as at a start without interface")
        self.assertDifferentPixels(self.region(removed, self.COMBO_BOX),
                                   self.region(connected, self.COMBO_BOX),
                                   "the combo box looks as it did while enabled")

    def picture(self, window, name):
        """The screen with the window painted afresh, and where its client area now is
        (the window manager may have moved the window since it appeared)."""
        wine.settle(1.0)
        self.assertTrue(self.session.redraw(window))
        wine.settle(1.5)
        image = self.session.screenshot(name)
        placed = [w for w in self.session.windows() if w["hwnd"] == window["hwnd"]]
        self.assertEqual(len(placed), 1, "the window went away")
        return image, placed[0]["clientorigin"]

    def region(self, picture, area):
        image, (x, y) = picture
        return image.region(x + area[0], y + area[1], area[2], area[3])


@unittest.skipIf(SKIP, SKIP or "")
class VirtualDesktopScreenshotTest(WineTestCase):
    """The window in Wine's own desktop, drawn with Wine's title bar and the small icon."""

    window_manager = False
    DESKTOP = (800, 600)
    virtual_desktop = DESKTOP

    def test_WindowOpensCentredInWinesVirtualDesktop(self):
        self.start()
        window = self.one_window()
        self.assertEqual(window["client"], (500, 350))
        left, top, right, bottom = window["workarea"]
        self.assertLessEqual(right - left, self.DESKTOP[0])
        self.assertEqual(window["clientorigin"][0], left + (right - left) // 2 - 250)
        wine.settle(3)

        name = "windows-virtual-desktop"
        image = self.session.screenshot(name)
        # The desktop sits at the screen's top left; outside it the X root stays black.
        inside = image.region(0, 0, self.DESKTOP[0], self.DESKTOP[1])
        self.assertGreater(len(set(inside[i:i + 3] for i in range(0, len(inside), 3 * 97))), 8,
                           "the desktop shows hardly any colours: nothing was drawn")

        if os.environ.get("VESK2_UPDATE_SCREENSHOTS"):
            source = os.path.join(wine.harness.ARTEFACTS, name + ".png")
            target = os.path.join(wine.ROOT, "docs", "screenshot-windows.png")
            os.makedirs(os.path.dirname(target), exist_ok=True)
            wine.subprocess.run(["convert", source, "-crop", "%dx%d+0+0" % self.DESKTOP, "+repage", target],
                                check=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
