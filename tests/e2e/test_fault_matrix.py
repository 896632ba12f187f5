"""Every driver function made to fail at start-up, at an arrival and around a
control action, with the real program in a real window.

Each row names the function, the moment, the status (or, for GetDeviceCount,
the count) the simulator returns, and what the program must then do: keep
running (or end with exit code 0), show in each part of the panel what the
healthy program shows for a driver reporting the same (or nothing), and write
to the driver only what the test chose.

What the panel shows is compared pixel for pixel with reference runs of the
healthy program in the same X session:
  connected  one interface, firmware 1a2, streaming mode 4, ASIO buffer size 256
  none       no interface: "Vesk 2 not connected", both controls disabled
  unknown    the combo box enabled with no item shown, the slider enabled with an
             empty value box, and no firmware line: what was not read is not shown
  chosen     streaming mode 8 and ASIO buffer size 2048: what the test picks
The driver line is "shown" (as in every reference) or "absent"; where the
program need not repaint it, "whole or absent".

Each row is a test of its own, named like "GetDeviceCount-0x3-start_up": pick
rows with -k ("-k start_up", "-k 'arrival or PnpNotification'").
"""

import collections
import os
import time

import pytest

import harness
from harness import Simulator, Program, XSession, scaled

STARTUP, ARRIVAL, ARRIVAL_WITH_ONE, ACTION = "start-up", "arrival", "arrival with one connected", "control action"

E = "TUSBAUDIO_EnumerateDevices"
COUNT = "TUSBAUDIO_GetDeviceCount"
OPEN = "TUSBAUDIO_OpenDeviceByIndex"
CLOSE = "TUSBAUDIO_CloseDevice"
MODE = "TUSBAUDIO_GetDeviceUsbMode"
PROPS = "TUSBAUDIO_GetDeviceProperties"
INFO = "TUSBAUDIO_GetDriverInfo"
REG = "TUSBAUDIO_RegisterPnpNotification"
UNREG = "TUSBAUDIO_UnregisterPnpNotification"
GET_STREAM = "TUSBAUDIO_GetUsbStreamingMode"
SET_STREAM = "TUSBAUDIO_SetUsbStreamingMode"
GET_ASIO = "TUSBAUDIO_GetASIOBufferSize"
SET_ASIO = "TUSBAUDIO_SetASIOBufferSize"
RATE = "TUSBAUDIO_GetCurrentSampleRate"
MINIMUM = "TUSBAUDIO_GetMinimumASIOBufferSize"

# What the panel shows in each region after the failure.
Shows = collections.namedtuple("Shows", "driver firmware combo slider")
CONNECTED = Shows("shown", "connected", "connected", "connected")
NONE = Shows("shown", "none", "none", "none")
CHOSEN = Shows("shown", "connected", "chosen", "chosen")


def shows(base, **changes):
    return base._replace(**changes)


Row = collections.namedtuple("Row", "function moment status shows ends")


def row(function, moment, status, view=None, ends=False):
    return Row(function, moment, status, view, ends)


# The statuses vary, so that no caller can pass by testing for one value: 1, a
# driver-style error code, the sign bit alone, all bits.
ROWS = [
    # -- at start-up, with one interface connected --
    row(E, STARTUP, 1, ends=True),
    row(COUNT, STARTUP, 0, NONE),
    row(COUNT, STARTUP, 3, CONNECTED),            # more than there are: the extra indexes do not open
    row(COUNT, STARTUP, 0xFFFFFFFF, CONNECTED),   # absurd: the scan must still end, and soon
    row(OPEN, STARTUP, 0xEE000001, NONE),
    row(CLOSE, STARTUP, 0x80000000, CONNECTED),
    row(MODE, STARTUP, 0xFFFFFFFF, NONE),
    row(PROPS, STARTUP, 1, shows(CONNECTED, firmware="unknown")),
    row(INFO, STARTUP, 0xEE000002, shows(CONNECTED, driver="absent")),
    row(REG, STARTUP, 0x80000000, CONNECTED),     # and later changes go unheard
    row(UNREG, STARTUP, 0xFFFFFFFF, CONNECTED),   # and closing still ends with 0
    row(GET_STREAM, STARTUP, 1, shows(CONNECTED, combo="unknown")),
    row(SET_STREAM, STARTUP, 0xEE000003, CONNECTED),
    row(GET_ASIO, STARTUP, 0x80000000, shows(CONNECTED, slider="unknown")),
    row(SET_ASIO, STARTUP, 1, CONNECTED),
    row(RATE, STARTUP, 0xFFFFFFFF, shows(CONNECTED, slider="unknown")),
    row(MINIMUM, STARTUP, 0xEE000004, shows(CONNECTED, slider="unknown")),

    # -- an interface arrives while none is connected --
    row(E, ARRIVAL, 0xEE000001, NONE),
    row(COUNT, ARRIVAL, 0, NONE),
    row(OPEN, ARRIVAL, 1, NONE),
    row(CLOSE, ARRIVAL, 0xFFFFFFFF, CONNECTED),
    row(MODE, ARRIVAL, 0x80000000, NONE),
    row(PROPS, ARRIVAL, 0xEE000005, shows(CONNECTED, firmware="unknown")),
    row(INFO, ARRIVAL, 1, shows(CONNECTED, driver="absent")),
    row(REG, ARRIVAL, 0xFFFFFFFF, CONNECTED),
    row(UNREG, ARRIVAL, 1, CONNECTED),
    row(GET_STREAM, ARRIVAL, 0x80000000, shows(CONNECTED, combo="unknown")),
    row(SET_STREAM, ARRIVAL, 1, CONNECTED),
    row(GET_ASIO, ARRIVAL, 0xEE000006, shows(CONNECTED, slider="unknown")),
    row(SET_ASIO, ARRIVAL, 0xFFFFFFFF, CONNECTED),
    row(RATE, ARRIVAL, 1, shows(CONNECTED, slider="unknown")),
    row(MINIMUM, ARRIVAL, 0x80000000, shows(CONNECTED, slider="unknown")),

    # -- a second interface arrives while one is shown: a rescan that finds
    #    nothing keeps the controls and the record it shows --
    row(E, ARRIVAL_WITH_ONE, 1, CONNECTED),
    row(COUNT, ARRIVAL_WITH_ONE, 0, CONNECTED),
    row(OPEN, ARRIVAL_WITH_ONE, 0xEE000007, CONNECTED),

    # -- the test picks "8 milliseconds", then clicks the slider's far end (2048) --
    row(E, ACTION, 1, CHOSEN),
    row(COUNT, ACTION, 0, CHOSEN),
    row(OPEN, ACTION, 0xFFFFFFFF, CHOSEN),        # the minimum cannot be read: the slider stays where put
    row(CLOSE, ACTION, 1, CHOSEN),
    row(MODE, ACTION, 0x80000000, CHOSEN),
    row(PROPS, ACTION, 1, CHOSEN),
    row(INFO, ACTION, 0xEE000008, shows(CHOSEN, driver="whole or absent")),   # gone once repainted, never in part
    row(REG, ACTION, 1, CHOSEN),
    row(UNREG, ACTION, 0x80000000, CHOSEN),
    row(GET_STREAM, ACTION, 1, CHOSEN),           # the pick went through; the box keeps it
    row(SET_STREAM, ACTION, 0xEE000009, shows(CHOSEN, combo="connected")),   # refused: back to 4
    row(GET_ASIO, ACTION, 0xFFFFFFFF, CHOSEN),
    row(SET_ASIO, ACTION, 0x80000000, shows(CHOSEN, slider="connected")),    # refused: back to 256
    row(RATE, ACTION, 1, CHOSEN),
    row(MINIMUM, ACTION, 0xEE00000A, CHOSEN),
]

PICKED_MODE, PICKED_SIZE = 8, 2048

# The value box of the slider, inside its outline (panel coordinates).
VALUE_BOX = (277, 259, 146, 19)


def row_id(r):
    short = r.function.replace("TUSBAUDIO_", "")
    return f"{short}-{r.status:#x}-{r.moment.replace(' ', '_').replace('-', '_')}"


def marks_of(r):
    # Arrivals come from the notification thread, which registering and
    # unregistering start and stop: those rows are where a second thread takes part.
    marks = [pytest.mark.slow]
    if r.moment in (ARRIVAL, ARRIVAL_WITH_ONE) or r.function in (REG, UNREG):
        marks.append(pytest.mark.threads)
    return marks


@pytest.fixture(scope="module")
def session():
    session = XSession()
    yield session
    session.close()


@pytest.fixture
def sim():
    sim = Simulator()
    yield sim
    sim.remove()


@pytest.fixture
def programs():
    programs = []
    yield programs
    for program in programs:
        program.stop()


def launch(session, sim, programs):
    program = Program(session, sim)
    programs.append(program)
    window = program.wait_for_window()
    if window is not None:
        harness.focus_window(session, window)
    return program, window


def settle(session, sim, program, origin, painted_after=0):
    harness.park_mouse_on_panel(session, origin)
    view = harness.wait_for_settled(session, sim, origin, program.process, painted_after=painted_after)
    assert view is not None, "the program ended or never settled"
    return view


def reference_view(session, *setup):
    """The panel of the healthy program after the given vesk2-sim commands."""
    sim, programs = Simulator(), []
    try:
        sim("reset")
        for command in setup:
            sim(*command)
        program, window = launch(session, sim, programs)
        assert window is not None, program.how_it_ended()
        origin = harness.client_origin(session, window)
        view = settle(session, sim, program, origin)
        assert harness.close_and_wait(session, program, window) == 0
        return view
    finally:
        for program in programs:
            program.stop()
        sim.remove()


# Under memcheck the rows are run for what memcheck finds; the AddressSanitizer
# run compares their pixels.
PIXELS_CHECKED = os.environ.get("VESK2_CHECKER") != "valgrind"


@pytest.fixture(scope="module")
def references(session):
    if not PIXELS_CHECKED:
        return None
    connected = reference_view(session)
    none = reference_view(session, ("unplug",))
    chosen = reference_view(session, ("set", "streaming-mode", str(PICKED_MODE)),
                            ("set", "asio-buffer-size", str(PICKED_SIZE)))
    # Read but matching no item: the combo box enabled and empty, which is what
    # an unread mode must look like too.
    odd = reference_view(session, ("set", "streaming-mode", "3"))
    return {"connected": connected, "none": none, "chosen": chosen, "odd_combo": odd["combo"]}


def assert_same_pixels(first, second, label):
    difference = harness.pixel_difference(first, second)
    assert difference is None, f"{label}: {difference}"


def check_view(view, expected, refs):
    if expected.driver == "shown":
        assert_same_pixels(view["driver"], refs["connected"]["driver"], "the driver line")
    elif expected.driver == "whole or absent":
        assert (harness.pixel_difference(view["driver"], refs["connected"]["driver"]) is None
                or not harness.has_dark_pixels(view["driver"])), "a piece of the driver line is shown"
    else:
        assert not harness.has_dark_pixels(view["driver"]), "a driver line is shown"

    if expected.firmware == "unknown":
        assert not harness.has_dark_pixels(view["firmware"]), \
            "a firmware version is shown that the driver did not report"
    else:
        assert_same_pixels(view["firmware"], refs[expected.firmware]["firmware"], "the firmware line")

    if expected.combo == "unknown":
        assert_same_pixels(view["combo"], refs["odd_combo"], "the combo box should be enabled and empty")
    else:
        assert_same_pixels(view["combo"], refs[expected.combo]["combo"], "the combo box")

    if expected.slider == "unknown":
        assert harness.pixel_difference(view["slider"], refs["none"]["slider"]) is not None, \
            "the slider should be enabled"
        x, y, width, height = VALUE_BOX
        slider_x, slider_y = harness.PANEL_REGIONS["slider"][:2]
        value_box = b"".join(
            view["slider"][3 * ((line - slider_y) * 250 + (x - slider_x)):][:3 * width]
            for line in range(y, y + height))
        assert not harness.has_dark_pixels(value_box), "the slider shows a size that the driver did not report"
    else:
        assert_same_pixels(view["slider"], refs[expected.slider]["slider"], "the slider")


@pytest.mark.parametrize("r", [pytest.param(r, id=row_id(r), marks=marks_of(r)) for r in ROWS])
def test_driver_function_failing(r, session, references, sim, programs):
    sim("reset")
    fail = ("fail", r.function, str(r.status))

    if r.moment == ARRIVAL:
        sim("unplug")
    if r.moment == STARTUP:
        sim(*fail)

    program, window = launch(session, sim, programs)

    if r.ends:
        assert window is None, "a window opened"
        assert program.wait(scaled(10)) == 0, "the exit code"
        assert sim.call_names() == [r.function], "calls after the failed enumeration"
        return

    assert window is not None, f"no window; {program.how_it_ended()}"
    origin = harness.client_origin(session, window)
    view = settle(session, sim, program, origin)
    mark = len(sim.calls())

    if r.moment in (ARRIVAL, ARRIVAL_WITH_ONE):
        sim(*fail)
        sim("plug")
        assert harness.wait_until(
            lambda: any(name == "POST" for _, name, _ in harness.calls_after(sim, mark)), scaled(10)), \
            "the driver posted no arrival"
        view = settle(session, sim, program, origin, painted_after=mark)
    elif r.moment == ACTION:
        sim(*fail)
        harness.pick_until_written(session, sim, origin, PICKED_MODE)
        settle(session, sim, program, origin)
        harness.click_slider_end(session, origin, right=True)
        view = settle(session, sim, program, origin)

    assert program.process.poll() is None, "the program ended"
    if os.environ.get("VESK2_FAULT_SHOTS"):
        session.screenshot(row_id(r))
    if PIXELS_CHECKED:
        check_view(view, r.shows, references)

    entries = sim.calls() if r.moment == STARTUP else harness.calls_after(sim, mark)
    writes = [(name, value) for name, value, _ in harness.writes_in(entries)]
    expected_writes = [] if r.moment != ACTION else [
        ("TUSBAUDIO_SetUsbStreamingMode", PICKED_MODE), ("TUSBAUDIO_SetASIOBufferSize", PICKED_SIZE)]
    assert writes == expected_writes, "what was written to the driver"

    if r.shows.firmware == "none" and r.moment != ARRIVAL_WITH_ONE:
        read = [name for _, name, _ in entries if name in (GET_STREAM, GET_ASIO)]
        assert read == [], "settings read with no interface"

    if r.function == REG and r.moment == STARTUP:
        # Unheard: an interface pulled out now changes nothing.
        sim("unplug")
        time.sleep(scaled(1.0))
        assert settle(session, sim, program, origin) == view, "a change was heard"

    assert harness.close_and_wait(session, program, window) == 0, "the exit code after closing"
    unregistered = [status for _, name, status in sim.calls() if name == UNREG]
    assert len(unregistered) == 1, f"unregistered {len(unregistered)} times"
