"""The program as a whole: its window, its start-up decisions and its exit code."""

import os
import shutil
import tempfile

import harness
from harness import SessionTestCase, TITLE, SCREEN_WIDTH, SCREEN_HEIGHT, scaled


class ApplicationTest(SessionTestCase):

    def test_window_is_titled_sized_and_centred_and_closing_ends_with_zero(self):
        program, window = self.open_window()
        x, y, width, height = self.session.geometry(window)
        self.assertEqual((width, height), (500, 350))
        # No panel in this session, so the work area is the whole screen. The
        # program asks for its client area at the centre; under X11 the window
        # manager puts its frame's corner there (north-west gravity), so the
        # client area sits the frame's border and title bar further in.
        centred = (SCREEN_WIDTH // 2 - 250, SCREEN_HEIGHT // 2 - 175)
        self.assertEqual(self.session.requested_position(window), centred)
        left, right, top, bottom = self.session.frame_extents(window)
        self.assertEqual((x - left, y - top), centred)
        self.session.screenshot("application-window")

        self.assertEqual(harness.close_and_wait(self.session, program, window), 0)

    def test_exit_options_end_at_once_without_window_or_driver_call(self):
        for arguments in (["-hide"], ["-EXITALL"], ["-Hide"], ["abc-hidexyz"], ["-hidehidden"], ["/x", "-exitall"]):
            with self.subTest(arguments=arguments):
                self.sim.clear_log()
                program = self.start(*arguments)
                self.assertEqual(program.wait(scaled(10)), 0)
                self.assertEqual(self.session.find_windows(pid=program.pid), [])
                self.assertEqual(self.sim.calls(), [])

    def test_options_that_only_look_alike_open_the_window(self):
        for arguments in (["/hide"], ["hide"], ["-hidden"]):
            with self.subTest(arguments=arguments):
                program, window = self.open_window(*arguments)
                self.assertEqual(harness.close_and_wait(self.session, program, window), 0)

    def test_program_path_holding_the_option_letters_does_not_count(self):
        folder = tempfile.mkdtemp(prefix="Vesk -hide test ")
        try:
            for name in os.listdir(harness.BIN):
                if name.startswith("libtusbaudioapi") or name.startswith("libvesk2win32") or name == "Vesk2ControlPanel":
                    shutil.copy2(os.path.join(harness.BIN, name), folder)
            copy = os.path.join(folder, "Vesk2ControlPanel")

            program, window = self.open_window(executable=copy)
            self.assertEqual(harness.close_and_wait(self.session, program, window), 0)

            ended = self.start("-hide", executable=copy)
            self.assertEqual(ended.wait(scaled(10)), 0)
            self.assertEqual(self.session.find_windows(pid=ended.pid), [])
        finally:
            shutil.rmtree(folder, ignore_errors=True)

    def test_failed_enumeration_ends_with_zero_and_no_window(self):
        self.sim("fail", "TUSBAUDIO_EnumerateDevices")
        program = self.start()
        self.assertEqual(program.wait(scaled(10)), 0)
        self.assertEqual(self.session.find_windows(pid=program.pid), [])
        self.assertEqual(self.sim.call_names(), ["TUSBAUDIO_EnumerateDevices"])

    def test_second_start_runs_beside_the_first(self):
        first, first_window = self.open_window()
        second, second_window = self.open_window()
        self.assertNotEqual(first_window, second_window)
        self.assertIsNone(first.process.poll())

        exiting = self.start("-exitall")
        self.assertEqual(exiting.wait(scaled(10)), 0)
        self.assertIsNone(first.process.poll(), "-exitall in a new start must end only itself")
        self.assertIsNone(second.process.poll())

        for program, window in ((first, first_window), (second, second_window)):
            self.assertEqual(harness.close_and_wait(self.session, program, window), 0)

    def test_program_keeps_no_files_of_its_own(self):
        home = tempfile.mkdtemp(prefix="vesk2-home-")
        # A desktop session always has a runtime folder; JUCE's display-scale
        # lookup runs dconf, which keeps its cache there, not in HOME.
        runtime = tempfile.mkdtemp(prefix="vesk2-runtime-")
        os.chmod(runtime, 0o700)
        try:
            program, window = self.open_window(env={"HOME": home, "XDG_RUNTIME_DIR": runtime})
            self.assertEqual(harness.close_and_wait(self.session, program, window), 0)
            leftovers = [os.path.join(root, name) for root, dirs, files in os.walk(home) for name in dirs + files]
            self.assertEqual(leftovers, [])
        finally:
            shutil.rmtree(home, ignore_errors=True)
            shutil.rmtree(runtime, ignore_errors=True)
