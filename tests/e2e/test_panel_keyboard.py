"""The settings panel from the keyboard and for support: the real program under
Xvfb, driven with xdotool's keys and pointer, the clipboard read back with
xclip, and the simulated driver's call log read for what the panel asked and
wrote.
"""

import re
import subprocess
import time

import harness
from harness import SessionTestCase, scaled, wait_until

SET_MODE = "TUSBAUDIO_SetUsbStreamingMode"
SET_SIZE = "TUSBAUDIO_SetASIOBufferSize"
RATE_CALLS = ("TUSBAUDIO_OpenDeviceByIndex", "TUSBAUDIO_GetCurrentSampleRate", "TUSBAUDIO_CloseDevice")

# Panel coordinates at the window's 500 x 350.
COMBO = (225, 95, 250, 21)
COMBO_TOP_EDGE = (235, 95, 180, 1)        # the outline's top row, clear of the button
SLIDER_TRACK = (225, 210, 250, 47)
SLIDER_MIDDLE = (300, 225)
TOOLTIP_BACKGROUND = (0xee, 0xee, 0xbb)   # the classic look-and-feel's tooltip
COMBO_MIDDLE = (320, 105)
# Seconds watched for a tip or a driver call that must not come: over twice the
# 0.7 s rest after which a tip shows.
WATCHED = 1.5


def is_dark(colour):
    return max(colour) < 60


class PanelKeyboardTest(SessionTestCase):

    def open_panel(self):
        """Starts the program; returns once its window has the keyboard focus (see
        open_window) and the panel has settled, with the screen then in self.start_screen."""
        self.program, self.window = self.open_window()
        self.origin = harness.client_origin(self.session, self.window)
        harness.park_mouse(self.session)
        self.start_screen = self.settled_screen()
        return self.program

    def region(self, image, area):
        x, y, width, height = area
        return image.region(self.origin[0] + x, self.origin[1] + y, width, height)

    def outline_drawn(self, image):
        """The combo box's outline is drawn unless the box is enabled and has the focus."""
        x, y, width, _ = COMBO_TOP_EDGE
        return all(is_dark(image.pixel(self.origin[0] + column, self.origin[1] + y))
                   for column in range(x, x + width))

    def settled_screen(self, painted_after=0):
        """A screenshot once the panel has painted after the first painted_after
        call-log entries and settled (harness.wait_for_settled)."""
        self.assertIsNotNone(harness.wait_for_settled(self.session, self.sim, self.origin, self.program.process,
                                                      painted_after=painted_after), "the panel never settled")
        return self.session.screenshot()

    def press_and_settle(self, *keys):
        """Presses keys; the screen once the panel has repainted for them and settled."""
        mark = len(self.sim.calls())
        self.press(*keys)
        return self.settled_screen(mark)

    def press(self, *keys):
        self.session.run("xdotool", "key", "--clearmodifiers", *keys)

    def writes(self, name):
        return [int(rest.split(" ", 1)[0]) for _, called, rest in self.sim.calls() if called == name]

    def press_and_wait_for_writes(self, key, name, count):
        self.press(key)
        self.assertTrue(wait_until(lambda: len(self.writes(name)) >= count, scaled(10)), f"{key} wrote nothing")

    def clipboard(self):
        result = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.session.env,
                                capture_output=True, text=True, timeout=10)
        return result.stdout if result.returncode == 0 else None

    def calls_named(self, names, since=0):
        return [name for _, name, _ in self.sim.calls()[since:] if name in names]

    def tooltip_pixels(self, image=None):
        """How many pixels of the panel have the tooltip's background colour."""
        image = image or self.session.screenshot()
        return image.count(self.origin[0], self.origin[1], 500, 350, lambda c: c == TOOLTIP_BACKGROUND)

    def tooltip_shown(self):
        return self.tooltip_pixels() > 200

    def point(self, x, y):
        self.session.run("xdotool", "mousemove", "--sync", str(self.origin[0] + x), str(self.origin[1] + y))

    # ------------------------------------------------------------------------

    def test_tab_moves_the_focus_combo_box_then_slider_and_nothing_has_it_at_start(self):
        self.open_panel()
        start = self.start_screen
        self.assertTrue(self.outline_drawn(start), "something took the focus at start-up")

        on_combo = self.press_and_settle("Tab")
        self.assertFalse(self.outline_drawn(on_combo), "Tab did not focus the combo box")
        self.assertSamePixels(self.region(on_combo, SLIDER_TRACK), self.region(start, SLIDER_TRACK))

        on_slider = self.press_and_settle("Tab")
        self.assertTrue(self.outline_drawn(on_slider), "the combo box kept the focus")
        # The focused slider's thumb is drawn brighter: the focus shows.
        self.assertDifferentPixels(self.region(on_slider, SLIDER_TRACK), self.region(start, SLIDER_TRACK))

        back = self.press_and_settle("shift+Tab")
        self.assertFalse(self.outline_drawn(back))
        self.assertSamePixels(self.region(back, SLIDER_TRACK), self.region(start, SLIDER_TRACK))
        self.assertEqual(self.writes(SET_MODE) + self.writes(SET_SIZE), [])

    def test_each_slider_key_writes_once_and_the_combo_box_takes_its_arrow_keys(self):
        self.open_panel()
        self.press_and_settle("Tab")
        self.press_and_settle("Tab")

        # A second write for a key shows by the time the next key's write is waited for.
        expected = []
        for key, value in (("End", 2048), ("Home", 64), ("Page_Up", 128), ("Right", 129),
                           ("Left", 128), ("Up", 129), ("Page_Down", 128), ("Page_Down", 64)):
            expected.append(value)
            self.press_and_wait_for_writes(key, SET_SIZE, len(expected))
            self.assertEqual(self.writes(SET_SIZE), expected, f"after {key}")

        # Home at 64 leaves the value, and writes nothing: the repaint for the
        # shift+Tab pressed after it shows that it was handled.
        self.press("Home")
        self.press_and_settle("shift+Tab")
        self.assertEqual(self.writes(SET_SIZE), expected)
        self.assertEqual(self.writes(SET_MODE), [])

        # The combo box: from 4 milliseconds one item down is 8.
        mark = len(self.sim.calls())
        self.press_and_wait_for_writes("Down", SET_MODE, 1)
        self.settled_screen(mark)
        self.assertEqual(self.writes(SET_MODE), [8])
        self.assertEqual(self.writes(SET_SIZE), expected)

    def test_ctrl_c_copies_what_the_panel_shows_with_or_without_a_focused_control(self):
        self.open_panel()
        pattern = (r"Vesk 2 Control Panel 1\.0\.0\nDriver version 5\.12\nFirmware version [0-9a-f]+\n"
                   r"USB Buffer Size: 4 milliseconds\nASIO Buffer Size: 256 samples\n")

        self.press("ctrl+c")
        self.assertTrue(wait_until(lambda: re.fullmatch(pattern, self.clipboard() or ""), scaled(10)),
                        f"clipboard holds {self.clipboard()!r}")

        self.press("Tab")
        self.press("Tab")
        self.press("End")
        self.assertTrue(wait_until(lambda: self.writes(SET_SIZE) == [2048], scaled(10)))
        subprocess.run(["xclip", "-selection", "clipboard"], input="", text=True, env=self.session.env,
                       timeout=10, check=False)
        self.press("ctrl+c")
        self.assertTrue(wait_until(lambda: (self.clipboard() or "").endswith("ASIO Buffer Size: 2048 samples\n"),
                                   scaled(10)),
                        f"clipboard holds {self.clipboard()!r}")

        # Pulled out (the panel has repainted for it): the report says so and leaves the disabled controls out.
        mark = len(self.sim.calls())
        self.sim("unplug")
        self.settled_screen(mark)
        self.press("ctrl+c")
        self.assertTrue(wait_until(
            lambda: self.clipboard() == "Vesk 2 Control Panel 1.0.0\nDriver version 5.12\nVesk 2 not connected\n",
            scaled(10)),
            f"clipboard holds {self.clipboard()!r}")

    def test_a_tooltip_reads_the_rate_once_when_it_shows_and_never_while_the_panel_idles(self):
        self.open_panel()
        start = self.start_screen
        self.assertEqual(self.tooltip_pixels(start), 0)
        # Start-up reads the rate once, for the slider's minimum.
        self.assertEqual(self.calls_named(("TUSBAUDIO_GetCurrentSampleRate",)), ["TUSBAUDIO_GetCurrentSampleRate"])

        # Idle with the pointer off the controls: no tooltip, no driver call but paints.
        mark = len(self.sim.calls())
        time.sleep(scaled(WATCHED))
        self.assertEqual(self.calls_named(RATE_CALLS, mark), [])
        self.assertFalse(self.tooltip_shown())

        # On the slider: the tip shows after the rest, with one open, rate, close.
        self.point(*SLIDER_MIDDLE)
        self.assertTrue(wait_until(self.tooltip_shown, scaled(10)), "no tooltip appeared")
        self.session.screenshot("panel-slider-tooltip")
        time.sleep(scaled(WATCHED))
        self.assertEqual(self.calls_named(RATE_CALLS, mark), list(RATE_CALLS))

        # On the combo box: a fresh rest and a fresh read.
        self.point(*COMBO_MIDDLE)
        self.assertTrue(wait_until(lambda: not self.tooltip_shown(), scaled(10)), "the slider's tip stayed")
        self.assertTrue(wait_until(lambda: len(self.calls_named(RATE_CALLS, mark)) == 6, scaled(10)))
        self.assertTrue(wait_until(self.tooltip_shown, scaled(10)), "no tooltip on the combo box")
        self.session.screenshot("panel-combo-tooltip")

        # Off the controls: the tip goes, the panel looks as it did, and nothing more is read.
        harness.park_mouse(self.session)
        self.assertTrue(wait_until(lambda: not self.tooltip_shown(), scaled(10)), "the tooltip stayed")
        # JUCE repaints only where the tip was, and text cut by that edge may be
        # smoothed a level or two apart; nothing of the tip may be left.
        after = self.settled_screen()
        left_over = [(x, y) for y in range(350) for x in range(500)
                     if max(abs(a - b) for a, b in zip(after.pixel(self.origin[0] + x, self.origin[1] + y),
                                                       start.pixel(self.origin[0] + x, self.origin[1] + y))) > 3]
        self.assertEqual(left_over[:20], [], f"{len(left_over)} pixels differ from the start")
        time.sleep(scaled(WATCHED))
        self.assertEqual(len(self.calls_named(RATE_CALLS, mark)), 6)

        # Disabled controls have no tip and read nothing.
        mark = len(self.sim.calls())
        self.sim("unplug")
        self.settled_screen(mark)
        mark = len(self.sim.calls())
        self.point(*SLIDER_MIDDLE)
        time.sleep(scaled(WATCHED))
        self.assertFalse(self.tooltip_shown())
        self.assertEqual(self.calls_named(RATE_CALLS, mark), [])
        self.assertEqual(self.writes(SET_MODE) + self.writes(SET_SIZE), [])
