"""Shutdown while the notification thread is held up, with the real program.

gdb, attached in non-stop mode, stops the notification thread alone at a
breakpoint while every other thread runs on; the test then asks the window to
close, looks at where the program waits, and lets the thread go.

What happens, and is pinned here:

- Held inside a listener (CDevChangeNotify::handleWin32Message, which runs with
  the notification window's lock held): the close request ends the message loop
  and the shutdown starts deleting the panel; the device list's notifier
  unregisters from the driver at once, then waits in removeListener for the
  window's lock. It must: the notifier being deleted is the very listener that
  is running. The program therefore does not end while the listener is held, not
  even after the 2-second wait, which it has not reached yet; it ends with exit
  code 0 once the listener returns. A listener that never returns keeps
  the program from ending (JUCE 7's Thread destructor, too, waits without limit).

- Held in the window procedure before it takes the lock: the panel and its
  notifier go at once, and the notification window's destructor posts its close
  message and waits 2 seconds (400 looks, 5 ms apart) for the thread. When that
  wait runs out it goes on waiting rather than freeing the window under a
  thread that still uses it, which is what JUCE's Thread destructor would do
  as well; the program ends with exit code 0 once the thread is let go.
"""

import os
import queue
import shutil
import subprocess
import threading
import time
import unittest

import pytest

import harness
from harness import SessionTestCase, scaled

pytestmark = [pytest.mark.slow, pytest.mark.threads]

HELD_FOR = 3.5      # seconds: longer than the destructor's 2-second wait


class Debugger:
    """gdb attached to a process in non-stop mode, driven line by line."""

    def __init__(self, pid):
        self.pid = pid
        self.process = subprocess.Popen(
            ["gdb", "-q", "-nx", "-ex", "set pagination off", "-ex", "set confirm off",
             "-ex", "set non-stop on", "-ex", f"attach {pid}"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, bufsize=1)
        self.lines = queue.Queue()
        self.transcript = []
        threading.Thread(target=self._read, daemon=True).start()
        self.marker = 0

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line)

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()

    def expect(self, text, timeout=20):
        """The lines read until one holds text; None when timeout passes first."""
        seen = []
        deadline = time.monotonic() + scaled(timeout)
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=0.1)
            except queue.Empty:
                continue
            seen.append(line)
            self.transcript.append(line)
            if text in line:
                return seen
        return None

    def sync(self, timeout=30):
        """Waits until gdb has carried out everything sent so far; returns its output."""
        self.marker += 1
        self.send(f"echo MARK{self.marker}\\n")
        return self.expect(f"MARK{self.marker}", timeout)

    def run_all_but_a_breakpoint(self, location):
        """Sets the breakpoint and lets every thread run; the sync's output, or None
        when some thread stays stopped. gdb reports each thread's stop from the
        attach on its own, and a slow program's last reports (under ThreadSanitizer)
        came after the first "continue -a", which left those threads stopped."""
        self.send(f"break {location}")
        output = None
        deadline = time.monotonic() + scaled(10)
        while time.monotonic() < deadline:
            self.send("continue -a &")
            output = self.sync()
            time.sleep(0.2)
            if output is None or not self.stopped_threads():
                return output
        return None

    def stopped_threads(self):
        """The ids of the process's threads that the debugger holds stopped."""
        stopped = []
        for thread in os.listdir(f"/proc/{self.pid}/task"):
            try:
                with open(f"/proc/{self.pid}/task/{thread}/stat") as stat:
                    # The state follows the name, which is in parentheses and may hold spaces.
                    if stat.read().rpartition(")")[2].split()[0] == "t":
                        stopped.append(int(thread))
            except FileNotFoundError:
                pass        # the thread has ended
        return stopped

    def backtrace_of_main_thread(self):
        """Stops the main thread alone, takes its stack and lets it run on."""
        self.send("thread 1")
        self.send("interrupt")
        self.expect("stopped", 10)
        self.send("bt")
        lines = self.sync()
        self.send("continue &")
        self.sync()
        return "".join(lines or [])

    def detach(self):
        """Lets every thread go, the one at the breakpoint among them."""
        self.send("detach")
        self.sync()
        self.send("quit")
        self.close()

    def close(self):
        try:
            self.process.wait(scaled(10))
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdin.close()
        self.process.stdout.close()


@unittest.skipUnless(shutil.which("gdb"), "gdb is needed to hold the notification thread")
@unittest.skipIf(os.environ.get("VESK2_CHECKER") == "valgrind", "gdb cannot attach under valgrind")
class ShutdownTest(SessionTestCase):

    def start_held(self, location):
        """Starts the program with one interface, stops the notification thread at
        location with the next device change, and returns (program, window, gdb)."""
        self.sim("reset")
        program, window = self.open_window()
        debugger = Debugger(program.pid)
        self.debuggers.append(debugger)
        self.assertIsNotNone(debugger.sync(), "gdb did not attach")
        self.assertIsNotNone(debugger.run_all_but_a_breakpoint(location))
        self.sim("plug")
        self.assertIsNotNone(debugger.expect("hit Breakpoint 1", 10), "the notification thread was not stopped")
        return program, window, debugger

    def setUp(self):
        super().setUp()
        self.debuggers = []

    def tearDown(self):
        for debugger in self.debuggers:
            if debugger.process.poll() is None:
                debugger.process.kill()
            if not debugger.process.stdin.closed:
                debugger.close()
        super().tearDown()

    def close_hold_and_release(self, program, window, debugger):
        """Asks the window to close, checks the program still runs after HELD_FOR
        seconds, then lets the thread go; returns (where the main thread waited, exit code)."""
        requested = time.monotonic()
        # The shutdown has begun once the notifier has unregistered from the driver;
        # a request made while the window manager takes the window on is lost, so
        # it is repeated until then.
        unregistered = lambda: "TUSBAUDIO_UnregisterPnpNotification" in self.sim.call_names()
        while not unregistered() and time.monotonic() - requested < scaled(HELD_FOR):
            self.session.request_close(window)
            harness.wait_until(unregistered, scaled(1.0))
        self.assertTrue(unregistered(), "the close request did not start the shutdown")
        self.assertIsNone(program.wait(max(0.0, requested + scaled(HELD_FOR) - time.monotonic())),
                          "the program ended under a running notification thread")
        waiting_in = debugger.backtrace_of_main_thread()
        self.assertIsNone(program.process.poll())
        released = time.monotonic()
        debugger.detach()
        code = program.wait(scaled(10))
        ended = time.monotonic()
        print(f"\nclose requested, thread let go after {released - requested:.1f} s, "
              f"program ended {ended - released:.2f} s later with exit code {code}")
        return waiting_in, code

    def test_a_listener_held_at_shutdown_delays_the_end_until_it_returns_then_exit_code_is_zero(self):
        program, window, debugger = self.start_held("CDevChangeNotify::handleWin32Message")
        waiting_in, code = self.close_hold_and_release(program, window, debugger)

        # The notifier being deleted waits for the lock the running listener holds.
        self.assertIn("Win32NotificationWindow::removeListener", waiting_in)
        self.assertIn("CDevChangeNotify::~CDevChangeNotify", waiting_in)
        self.assertEqual(code, 0)
        names = self.sim.call_names()
        self.assertEqual(names.count("TUSBAUDIO_UnregisterPnpNotification"), 1)

    def test_a_thread_held_past_the_two_second_wait_is_waited_for_then_exit_code_is_zero(self):
        program, window, debugger = self.start_held("Win32NotificationWindow::windowProcedure")
        waiting_in, code = self.close_hold_and_release(program, window, debugger)

        # The panel and its notifier are gone; the window's destructor still waits.
        self.assertIn("Win32NotificationWindow::~Win32NotificationWindow", waiting_in)
        self.assertNotIn("MainWindowContent", waiting_in)
        self.assertEqual(code, 0)
        self.assertEqual(self.sim.call_names().count("TUSBAUDIO_UnregisterPnpNotification"), 1)
