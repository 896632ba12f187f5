"""The settings panel as a user meets it: the real program in a real window,
driven with the mouse, its screen read back and compared with the screens of
reference starts, and the simulated driver's call log read for what it was told.
"""

import os
import time

import pytest

import harness
from harness import SessionTestCase, pixel_difference, scaled, wait_until

# Where the 500 x 350 panel puts things, in client coordinates.
DRIVER_LINE = (0, 183, 250, 16)
FIRMWARE_LINE = (0, 208, 250, 16)
TEXT_LINES = (0, 183, 250, 41)
COMBO = (225, 95, 250, 21)
COMBO_TEXT = (229, 98, 200, 15)       # left of the drop-down button
SLIDER_TRACK = (225, 210, 250, 47)    # the slider less its text box
SLIDER_TEXT = (278, 260, 144, 17)     # inside the value box's outline
# The thumb travels between these x positions: the slider's width less the
# thumb's radius (9) at each end.
TRACK_LEFT, TRACK_RIGHT = 225 + 9, 475 - 9

SET_MODE = "TUSBAUDIO_SetUsbStreamingMode"
SET_SIZE = "TUSBAUDIO_SetASIOBufferSize"


def is_strong_red(colour):
    return colour[0] > 200 and colour[1] < 80 and colour[2] < 80


def is_dark(colour):
    return max(colour) < 60


def skewed_position(value, minimum=64, maximum=2048, skew=0.4658006):
    return ((value - minimum) / (maximum - minimum)) ** skew


class Screen:
    """One screenshot, read in the panel's client coordinates."""

    def __init__(self, image, origin):
        self.image = image
        self.x, self.y = origin

    def region(self, area):
        x, y, width, height = area
        return self.image.region(self.x + x, self.y + y, width, height)

    def count(self, area, predicate):
        x, y, width, height = area
        return self.image.count(self.x + x, self.y + y, width, height, predicate)

    def darkest(self, area):
        x, y, width, height = area
        return min(max(self.image.pixel(self.x + column, self.y + row))
                   for row in range(y, y + height) for column in range(x, x + width))

    def has_text(self, area):
        return self.count(area, is_dark) > 0

    def controls_enabled(self):
        # Enabled: the combo box's button is full red, and both controls write their text in black.
        return (self.count(COMBO, is_strong_red) > 0
                and self.darkest(COMBO_TEXT) < 60 and self.darkest(SLIDER_TEXT) < 60)

    def controls_disabled(self):
        # Disabled: the button fades to pink and both texts to grey.
        return (self.count(COMBO, is_strong_red) == 0
                and self.darkest(COMBO_TEXT) > 90 and self.darkest(SLIDER_TEXT) > 90)

    def thumb_x(self):
        """The x of the slider thumb's centre: the middle of its red pixels."""
        x0, y0, width, height = SLIDER_TRACK
        columns = [x for y in range(y0, y0 + height) for x in range(x0, x0 + width)
                   if is_strong_red(self.image.pixel(self.x + x, self.y + y))]
        if not columns:
            return None
        return (min(columns) + max(columns)) / 2


class PanelTest(SessionTestCase):

    def open_panel(self):
        """Starts the program and waits until its panel has painted and settled; returns the program."""
        program, self.window = self.open_window()
        harness.park_mouse(self.session)
        self.settle(program)
        return program

    def settle(self, program):
        """Waits until the call log is still and the panel looks the same twice running."""
        self.assertIsNotNone(harness.wait_for_settled(self.session, self.sim, self.client_origin(), program.process),
                             f"the panel never settled: {program.how_it_ended()}")

    def client_origin(self):
        return self.session.geometry(self.window)[:2]

    def window_info(self, window):
        output = self.session.run("xwininfo", "-id", str(window)).stdout
        return {key.strip(): value.strip() for key, _, value in
                (line.partition(":") for line in output.splitlines()) if value}

    def screen(self, name=None):
        return Screen(self.session.screenshot(name), self.client_origin())

    def wait_for_screen(self, predicate, timeout=10):
        """Screenshots until one satisfies predicate (timeout only detects a hang);
        returns it, or the last one taken."""
        last = [None]

        def check():
            last[0] = self.screen()
            return predicate(last[0])

        wait_until(check, scaled(timeout), 0.05)
        return last[0]

    def writes(self, name):
        """The in-argument of each call of name in the call log so far."""
        return [int(rest.split(" ", 1)[0]) for _, called, rest in self.sim.calls() if called == name]

    def reference_screen_without_interface(self):
        """The screen of a start with nothing plugged in; leaves the state without an interface."""
        self.sim("unplug")
        program = self.open_panel()
        reference = self.screen("panel-start-without-interface")
        program.stop()
        self.assertTrue(wait_until(lambda: not self.session.find_windows(pid=program.pid), scaled(5)))
        return reference

    def keep_window_picture(self, name):
        """The window with its frame, as a user sees it, kept among the artefacts."""
        frame = self.window_info(self.window)
        left, top = self.client_origin()
        border_x, border_y = int(frame["Relative upper-left X"]), int(frame["Relative upper-left Y"])
        screen = self.session.screenshot(name + "-screen")
        screen.picture.crop((left - border_x, top - border_y, left + 500 + border_x, top + 350 + border_x)).save(
            os.path.join(harness.ARTEFACTS, name + ".png"))

    # ------------------------------------------------------------------------

    def test_start_up_shows_both_versions_and_enabled_controls_holding_the_drivers_settings(self):
        reference = self.reference_screen_without_interface()
        self.sim("plug")

        self.open_panel()
        screen = self.screen("panel-start-up")
        self.keep_window_picture("panel-start-up-window")

        self.assertTrue(screen.has_text(DRIVER_LINE))
        self.assertTrue(screen.has_text(FIRMWARE_LINE))
        # Same driver line as without an interface; the second line names the firmware instead.
        self.assertSamePixels(screen.region(DRIVER_LINE), reference.region(DRIVER_LINE))
        self.assertDifferentPixels(screen.region(FIRMWARE_LINE), reference.region(FIRMWARE_LINE))

        self.assertTrue(screen.controls_enabled())
        self.assertTrue(reference.controls_disabled())
        # The combo box shows the driver's mode; without an interface it shows nothing.
        self.assertTrue(screen.has_text(COMBO_TEXT))
        self.assertEqual(reference.count(COMBO_TEXT, lambda c: max(c) < 200), 0)
        # The thumb stands where 256 samples is on the skewed track.
        expected = TRACK_LEFT + skewed_position(256) * (TRACK_RIGHT - TRACK_LEFT)
        self.assertAlmostEqual(screen.thumb_x(), expected, delta=3)

        self.assertEqual(self.writes(SET_MODE) + self.writes(SET_SIZE), [])

    @pytest.mark.threads       # the arrival and the removal come from the notification thread
    def test_unplugging_shows_not_connected_and_disables_the_controls_and_plugging_restores_them(self):
        reference = self.reference_screen_without_interface()
        self.sim("plug")
        self.open_panel()
        start = self.screen("panel-before-unplug")
        self.assertTrue(start.controls_enabled())

        self.sim("unplug")
        after = self.wait_for_screen(lambda s: pixel_difference(s.region(TEXT_LINES), reference.region(TEXT_LINES)) is None
                                     and s.controls_disabled())
        self.session.screenshot("panel-after-unplug")
        self.assertSamePixels(after.region(TEXT_LINES), reference.region(TEXT_LINES))
        self.assertTrue(after.controls_disabled())

        self.sim("plug")
        back = self.wait_for_screen(lambda s: pixel_difference(s.region(TEXT_LINES), start.region(TEXT_LINES)) is None
                                    and s.controls_enabled())
        self.session.screenshot("panel-after-plug")
        self.assertSamePixels(back.region(TEXT_LINES), start.region(TEXT_LINES))
        self.assertTrue(back.controls_enabled())
        self.assertEqual(self.writes(SET_MODE) + self.writes(SET_SIZE), [])

    def test_choosing_23_milliseconds_with_the_mouse_writes_32_once(self):
        program = self.open_panel()
        before = self.screen()
        harness.pick_until_written(self.session, self.sim, (before.x, before.y), 32)
        after = self.wait_for_screen(lambda s: s.region(COMBO_TEXT) != before.region(COMBO_TEXT))
        self.session.screenshot("panel-after-choosing-23-ms")
        self.assertNotEqual(after.region(COMBO_TEXT), before.region(COMBO_TEXT))
        self.assertTrue(after.controls_enabled())
        self.settle(program)
        self.assertEqual(self.writes(SET_MODE), [32])
        self.assertEqual(self.writes(SET_SIZE), [])

    def test_a_slider_drag_writes_once_on_release_and_a_drag_back_to_its_start_writes_nothing(self):
        program = self.open_panel()
        screen = self.screen()
        start_x = screen.thumb_x()
        self.assertIsNotNone(start_x, "no thumb on the slider")
        thumb_y = screen.y + SLIDER_TRACK[1] + SLIDER_TRACK[3] // 2
        x0 = screen.x + round(start_x)
        thumb = lambda x: harness.area_around(self.session, x, thumb_y)

        harness.point_at(self.session, x0, thumb_y)
        self.session.run("xdotool", "mousedown", "1")
        for step in range(1, 9):
            self.session.run("xdotool", "mousemove", "--sync", str(x0 + 8 * step), str(thumb_y))
            time.sleep(0.03)
        # The thumb has followed the whole drag: the program has seen every move.
        dragged = self.wait_for_screen(lambda s: s.thumb_x() is not None and abs(s.thumb_x() - (start_x + 64)) <= 2)
        self.assertAlmostEqual(dragged.thumb_x(), start_x + 64, delta=2)
        self.assertEqual(self.writes(SET_SIZE), [], "the drag wrote before its release")
        self.session.run("xdotool", "mouseup", "1")

        if not wait_until(lambda: self.writes(SET_SIZE), scaled(10)):
            self.fail(f"the release wrote nothing; thumb pressed at {start_x}, now at {self.screen().thumb_x()}")
        harness.park_mouse(self.session)
        self.settle(program)
        self.session.screenshot("panel-after-drag")
        written = self.writes(SET_SIZE)
        self.assertEqual(len(written), 1)
        self.assertGreater(written[0], 256)

        # From where the thumb now stands, away and back to the same pixel: the value at
        # release equals the one at press, so nothing is written.
        x1 = x0 + 64
        idle = thumb(x1)
        harness.point_at(self.session, x1, thumb_y)
        hovered = thumb(x1)
        self.session.run("xdotool", "mousedown", "1")
        self.assertTrue(wait_until(lambda: thumb(x1) != hovered, scaled(10), 0.05), "the press did not show")
        for offset in (10, 20, 30, 40, 30, 20, 10, 0):
            self.session.run("xdotool", "mousemove", "--sync", str(x1 + offset), str(thumb_y))
            time.sleep(0.03)
        self.session.run("xdotool", "mouseup", "1")
        harness.park_mouse(self.session)
        # Released and left: the thumb looks as before the press, so the release was handled.
        self.assertTrue(wait_until(lambda: pixel_difference(thumb(x1), idle) is None, scaled(10), 0.05),
                        "the thumb did not come back to its look before the press")
        self.assertEqual(self.writes(SET_SIZE), written)
        self.assertEqual(self.writes(SET_MODE), [])
