"""The settings panel as a user meets it: the real program in a real window,
driven with the mouse, its screen read back and compared with the screens of
reference starts, and the simulated driver's call log read for what it was told.
"""

import os
import subprocess
import time

import harness
from harness import SessionTestCase, pixel_difference, wait_until

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
        """Starts the program and waits for its window and first paint; returns the program."""
        program, self.window = self.open_window()
        self.assertTrue(wait_until(lambda: "TUSBAUDIO_GetDriverInfo" in self.sim.call_names(), 10),
                        "the panel never painted")
        time.sleep(0.3)
        return program

    def client_origin(self):
        return self.session.geometry(self.window)[:2]

    def window_info(self, window):
        output = self.session.run("xwininfo", "-id", str(window)).stdout
        return {key.strip(): value.strip() for key, _, value in
                (line.partition(":") for line in output.splitlines()) if value}

    def screen(self, name=None):
        return Screen(self.session.screenshot(name), self.client_origin())

    def wait_for_screen(self, predicate, timeout=3):
        """Screenshots until one satisfies predicate; returns it, or the last one taken."""
        last = [None]

        def check():
            last[0] = self.screen()
            return predicate(last[0])

        wait_until(check, timeout, 0.05)
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
        self.assertTrue(wait_until(lambda: not self.session.find_windows(pid=program.pid), 5))
        return reference

    def keep_window_picture(self, name):
        """The window with its frame, as a user sees it, kept among the artefacts."""
        frame = self.window_info(self.window)
        left, top = self.client_origin()
        border_x, border_y = int(frame["Relative upper-left X"]), int(frame["Relative upper-left Y"])
        os.makedirs(harness.ARTEFACTS, exist_ok=True)
        whole = os.path.join(harness.ARTEFACTS, name + "-screen.png")
        self.session.screenshot(name + "-screen")
        crop = f"{500 + 2 * border_x}x{350 + border_y + border_x}+{left - border_x}+{top - border_y}"
        subprocess.run(["convert", whole, "-crop", crop, "+repage", os.path.join(harness.ARTEFACTS, name + ".png")],
                       check=True)

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

    def test_unplugging_shows_not_connected_and_disables_the_controls_within_200_ms_and_plugging_restores_them(self):
        reference = self.reference_screen_without_interface()
        self.sim("plug")
        self.open_panel()
        start = self.screen("panel-before-unplug")
        self.assertTrue(start.controls_enabled())

        unplugged_at = time.time()
        self.sim("unplug")
        after = self.wait_for_screen(lambda s: pixel_difference(s.region(TEXT_LINES), reference.region(TEXT_LINES)) is None
                                     and s.controls_disabled())
        self.session.screenshot("panel-after-unplug")
        self.assertSamePixels(after.region(TEXT_LINES), reference.region(TEXT_LINES))
        self.assertTrue(after.controls_disabled())

        # The repaint that shows it: the first paint (it asks for the driver's version) after the notice.
        calls = self.sim.calls()
        notice = next(i for i, (_, name, rest) in enumerate(calls) if name == "POST" and rest.split()[-1] == "2")
        repaint = next(micros for micros, name, _ in calls[notice:] if name == "TUSBAUDIO_GetDriverInfo")
        print(f"unplug to repaint: {(repaint - unplugged_at * 1e6) / 1000:.1f} ms")
        self.assertLess(repaint - unplugged_at * 1e6, 200_000)

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
        x, y, width, height = COMBO
        self.session.click(before.x + x + width // 2, before.y + y + height // 2)

        def popup():
            windows = [w for w in self.session.run("xdotool", "search", "--onlyvisible", "--pid", str(program.pid),
                                                    check=False).stdout.split() if int(w) != self.window]
            return windows[0] if windows else None

        menu = wait_until(popup, 5)
        self.assertIsNotNone(menu, "the drop-down list did not open")
        time.sleep(0.3)
        self.session.screenshot("panel-drop-down")
        menu_x, menu_y, _, menu_height = self.session.geometry(menu)
        # Six items of equal height; the last, "23 milliseconds", ends a few pixels above the bottom.
        harness.point_and_click(self.session, menu_x + 60, menu_y + menu_height - menu_height // 12)

        self.assertTrue(wait_until(lambda: self.writes(SET_MODE), 5), "nothing was written")
        time.sleep(0.5)
        self.assertEqual(self.writes(SET_MODE), [32])
        self.assertEqual(self.writes(SET_SIZE), [])

        after = self.wait_for_screen(lambda s: s.region(COMBO_TEXT) != before.region(COMBO_TEXT))
        self.session.screenshot("panel-after-choosing-23-ms")
        self.assertNotEqual(after.region(COMBO_TEXT), before.region(COMBO_TEXT))
        self.assertTrue(after.controls_enabled())

    def test_a_slider_drag_writes_once_on_release_and_a_drag_back_to_its_start_writes_nothing(self):
        self.open_panel()
        screen = self.screen()
        start_x = screen.thumb_x()
        self.assertIsNotNone(start_x, "no thumb on the slider")
        thumb_y = screen.y + SLIDER_TRACK[1] + SLIDER_TRACK[3] // 2
        x0 = screen.x + round(start_x)

        harness.rest_pointer(self.session, x0, thumb_y)
        self.session.run("xdotool", "mousedown", "1")
        for step in range(1, 9):
            self.session.run("xdotool", "mousemove", "--sync", str(x0 + 8 * step), str(thumb_y))
            time.sleep(0.03)
        time.sleep(0.3)
        self.assertEqual(self.writes(SET_SIZE), [], "the drag wrote before its release")
        self.session.run("xdotool", "mouseup", "1")

        if not wait_until(lambda: self.writes(SET_SIZE), 5):
            self.fail(f"the release wrote nothing; thumb pressed at {start_x}, now at {self.screen().thumb_x()}")
        time.sleep(0.5)
        written = self.writes(SET_SIZE)
        self.assertEqual(len(written), 1)
        self.assertGreater(written[0], 256)
        moved = self.wait_for_screen(lambda s: s.thumb_x() is not None and abs(s.thumb_x() - (start_x + 64)) <= 2)
        self.session.screenshot("panel-after-drag")
        self.assertAlmostEqual(moved.thumb_x(), start_x + 64, delta=2)

        # From where the thumb now stands, away and back to the same pixel: the value at
        # release equals the one at press, so nothing is written.
        x1 = x0 + 64
        self.session.run("xdotool", "mousemove", "--sync", str(x1), str(thumb_y), "mousedown", "1")
        for offset in (10, 20, 30, 40, 30, 20, 10, 0):
            self.session.run("xdotool", "mousemove", "--sync", str(x1 + offset), str(thumb_y))
            time.sleep(0.03)
        self.session.run("xdotool", "mouseup", "1")
        time.sleep(0.8)
        self.assertEqual(self.writes(SET_SIZE), written)
        self.assertEqual(self.writes(SET_MODE), [])


if __name__ == "__main__":
    harness.main()
