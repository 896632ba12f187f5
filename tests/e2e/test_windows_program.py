"""The Windows build of the program, run under Wine: its command line, its window as
Windows reports it, closing, several instances, what a screen reader gets from the
window, JUCE's inter-process broadcast, and the driver's plug-and-play message reaching
the running program.

Needs the Windows build (cmake --preset windows && cmake --build --preset windows) and
wine64; skipped otherwise. Screenshots are kept in $VESK2_ARTEFACTS.
"""

import os
import shutil
import sys
import unittest

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "windows"))

import wine  # noqa: E402

pytestmark = pytest.mark.wine

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
            windows = self.session.windows(polling=True)
            if windows is None:
                return None
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

    def assertStillTheOneWindow(self, window):
        """The window is still the only one. A probe under a loaded Wine now and then
        gives up and sees none, so it is asked again for a while."""
        seen = []

        def only_that_one():
            seen.append([w["hwnd"] for w in self.session.windows()])
            return seen[-1] == [window["hwnd"]]

        wine.wait_until(only_that_one, 20, 0.5)
        self.assertEqual(seen[-1], [window["hwnd"]])

    def assertEndsAtOnceWithoutWindow(self, program, what):
        self.assertEqual(program.wait(EXIT_TIMEOUT), 0, f"{what}: did not end with exit code 0")
        self.assertEqual(self.session.windows(), [], f"{what}: a window is left")


@unittest.skipIf(SKIP, SKIP or "")
class CommandLineTest(WineTestCase):

    def test_ExitOptionsEndTheProgramAtOnceWithoutWindowOrDriverCall(self):
        for argument in ("-hide", "-EXITALL", "abc-hidexyz"):
            with self.subTest(argument=argument):
                self.sim.clear_log()
                program = self.start(argument)
                self.assertEndsAtOnceWithoutWindow(program, argument)
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
        self.assertStillTheOneWindow(window)


@unittest.skipIf(SKIP, SKIP or "")
class ScreenReaderTest(WineTestCase):
    """What a screen reader gets from the window: vesk2-uiawalk.exe runs the program and,
    once the window has painted, walks JUCE's UI Automation providers as the system would
    (Wine 8 serves no outside client), printing each element it reaches."""

    def walk(self):
        """The elements in the order a reader meets them: (depth, control type, name,
        enabled or disabled, the Value pattern's text or None without the pattern)."""
        result = self.session.run_tool(wine.UIAWALK, timeout=START_TIMEOUT + EXIT_TIMEOUT, simulator=self.sim)
        self.assertEqual(result.returncode, 0, f"vesk2-uiawalk.exe: {result.stderr[-500:]!r}")
        rows = []
        for line in result.stdout.splitlines():
            depth, control_type, name, state, *value = line.split("\t")
            rows.append((int(depth), control_type, name[1:-1], state, value[0][len('value="'):-1] if value else None))
        return rows

    def test_EveryElementIsNamedAndTheControlsStayToBeReadAsUnavailableWithoutInterface(self):
        window = (0, "Window", wine.TITLE, "enabled", None)
        driver_line = (1, "Text", "Driver version 5.12", "enabled", None)
        for unplugged, expected in (
                (False, [window, (1, "ComboBox", "USB Buffer Size", "enabled", "4 milliseconds"),
                         (1, "Slider", "ASIO Buffer Size", "enabled", "256 samples"),
                         driver_line, (1, "Text", "Firmware version 1a2", "enabled", None)]),
                (True, [window, (1, "ComboBox", "USB Buffer Size", "disabled", ""),
                        (1, "Slider", "ASIO Buffer Size", "disabled", ""),
                        driver_line, (1, "Text", "Vesk 2 not connected", "enabled", None)])):
            if unplugged:
                self.sim("unplug")
            self.assertEqual(self.walk(), expected, "unplugged" if unplugged else "connected")


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
                self.assertStillTheOneWindow(window)


@unittest.skipIf(SKIP, SKIP or "")
class DeviceChangeTest(WineTestCase):
    """vesk2-sim.exe plugs and unplugs; the library in the program posts message 1024 to
    the program's real message-only window, and the panel reacts. Nothing here makes the
    window paint: Wine gives no vertical blank, so what reaches the screen is what the
    program hands to Windows itself, as a user would see it."""

    def test_PlugAndUnplugShowOnScreenAfterTheDriversNotice(self):
        self.sim("unplug")
        self.start()
        origin = self.settled_panel()
        disconnected_at_start = self.session.panel_view(origin, "windows-no-interface")

        self.sim("plug")
        connected = self.wait_for_view(origin, "POST 1024 1", "windows-plugged-in",
                                       lambda view: all(view[name] != disconnected_at_start[name]
                                                        for name in ("status line", "combo box", "slider")))
        after_arrival = self.sim.call_names()[self.sim.call_names().index("POST"):]
        for call in ("TUSBAUDIO_EnumerateDevices", "TUSBAUDIO_GetUsbStreamingMode", "TUSBAUDIO_GetASIOBufferSize"):
            self.assertIn(call, after_arrival, f"the arrival was not followed by the panel's rescan ({call})")

        self.sim.clear_log()
        self.sim("unplug")
        # Not connected, as at a start without interface, and both controls drawn disabled.
        self.wait_for_view(origin, "POST 1024 2", "windows-unplugged",
                           lambda view: view["status line"] == disconnected_at_start["status line"]
                           and all(view[name] != connected[name] for name in ("combo box", "slider")))

        self.sim.clear_log()
        self.sim("plug")
        self.wait_for_view(origin, "POST 1024 1", "windows-plugged-in-again",
                           lambda view: all(view[name] == connected[name] for name in wine.PANEL_REGIONS))

    def test_PickAndDragShowOnScreen(self):
        self.start()
        origin = self.settled_panel()
        before = self.session.panel_view(origin)
        harness = wine.harness

        self.sim.clear_log()
        harness.pick_until_written(self.session.x, self.sim, origin, 2, retry=True)
        picked = self.wait_for_view(origin, None, "windows-picked",
                                    lambda view: view["combo text"] != before["combo text"])
        self.assertIn(("TUSBAUDIO_SetUsbStreamingMode", 2, 0), harness.writes_in(self.sim.calls()))

        # Down on the track's left end, where the thumb jumps to 64, then along to its right end.
        (x0, y), (x1, _) = harness.slider_end_point(origin, False), harness.slider_end_point(origin, True)
        self.session.x.drag(x0, y, x1, y)
        self.wait_for_view(origin, None, "windows-dragged", lambda view: view["value box"] != picked["value box"])
        self.assertTrue(wine.wait_until(
            lambda: ("TUSBAUDIO_SetASIOBufferSize", 2048, 0) in harness.writes_in(self.sim.calls()), 5))

    def settled_panel(self):
        """Where the client area is, once the window manager has placed the window and
        the panel has painted there and settled."""
        origin = self.session.settled_origin(self.one_window(), self.sim)
        self.assertIsNotNone(origin, "the window went away")
        return origin

    def wait_for_view(self, origin, notice, name, shown):
        """Waits for the call-log line notice, when given, then takes screenshots until
        shown(view) holds; returns that view. The time limits only detect a hang."""
        if notice:
            self.assertTrue(wine.wait_until(lambda: notice in self.logged_lines(), 20),
                            f"{notice!r} never reached the program's message window")
        view = wine.wait_until(lambda: (lambda view: view if shown(view) else None)(self.session.panel_view(origin)),
                               wine.harness.scaled(10), 0.05)
        self.session.screenshot(name)
        self.assertTrue(view, f"{name}: the screen did not change as it should")
        return view

    def logged_lines(self):
        return [f"{call} {rest}".strip() for _, call, rest in self.sim.calls()]


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
        self.assertIsNotNone(self.session.settled_origin(window, self.sim), "the window went away")

        image = self.session.screenshot("windows-virtual-desktop")
        # The desktop sits at the screen's top left; outside it the X root stays black.
        inside = image.region(0, 0, self.DESKTOP[0], self.DESKTOP[1])
        self.assertGreater(len(set(inside[i:i + 3] for i in range(0, len(inside), 3 * 97))), 8,
                           "the desktop shows hardly any colours: nothing was drawn")

        if os.environ.get("VESK2_UPDATE_SCREENSHOTS"):
            image.picture.crop((0, 0) + self.DESKTOP).save(os.path.join(wine.ROOT, "docs", "screenshot-windows.png"))
