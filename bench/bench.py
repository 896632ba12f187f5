#!/usr/bin/env python3
"""Runs the benchmarks and prints one table: the program beside a minimal JUCE
window program built in the same tree with the same options, as ratios where
the machine's noise cancels out.

- start-up: exec to window visible, exec to the panel's first paint on screen;
  interleaved runs of both programs on one bare Xvfb (no window manager);
- hot-plug: the simulator's POST 1024 line to the first TUSBAUDIO_GetDriverInfo
  of the repaint that follows it, from the call log, over plug/unplug cycles;
- idle: CPU time and the wake-ups of each thread over a quiet span, with the
  window open; both programs at once, each on a display of its own;
- painting: the panel's paint at 500 x 350 under Google Benchmark;
- memory: the resident size once the window has been open for a second;
- Windows start-up: the start-up runs again with the Windows build of both
  programs under Wine (--windows-bin), on an Xvfb of its own with openbox.

Usage: bench.py --bin BUILD/bin [--runs N] [--cycles N] [--idle-seconds S] ...
Python's standard library only. Linux only (Xvfb, /proc).
"""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import analysis  # noqa: E402

OURS_TITLE = "Vesk 2 Control Panel"
MINIMAL_TITLE = "Minimal JUCE Window"

# Pixels of the content area that only the first paint gives (an unpainted
# window on Xvfb -br is black): the panel's gradient near its two ends, and the
# minimal window's light grey background.
OURS_PIXELS = ["10,10,FEFEFE", "490,340,D1D1D1"]
MINIMAL_PIXELS = ["10,10,D3D3D3", "490,340,D3D3D3"]
TEXT_PIXELS = ["10,10,FFFFFF", "490,340,FFFFFF"]     # the minimal window with --draw-text

# Our own threads: the notification window's and the simulated driver's watcher
# of its state file. Linux refuses a thread name over 15 bytes, so the first
# keeps the program's name unless it is ever cut to fit; an unnamed watcher
# keeps it too. classify_our_threads tells such threads apart.
NOTIFICATION_THREAD = "win32 notificat"
WATCHER_THREAD_NAMES = ("vesk2-sim pnp",)


def log(message):
    print(message, file=sys.stderr, flush=True)


class Display:
    """A bare Xvfb on a free display number, with a black root window."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-br", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class ProbedProgram:
    """A program started by vesk2-window-probe, which reports (in microseconds
    from the exec) when its window was visible and first painted, and stops it
    when asked."""

    def __init__(self, bin_dir, program, title, pixels, env, timeout_ms=20000, prefix=(), arguments=()):
        command = [os.path.join(bin_dir, "vesk2-window-probe"), "--title", title, "--timeout-ms", str(timeout_ms)]
        for pixel in pixels:
            command += ["--expect", pixel]
        command += ["--", *prefix, os.path.join(bin_dir, program), *arguments]
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        env=env, text=True)
        self.pid = self.epoch_us = self.visible_us = self.painted_us = None
        self.outcome = None
        for line in self.process.stdout:
            word, _, value = line.strip().partition(" ")
            if word == "pid":
                self.pid = int(value)
            elif word == "epoch":
                self.epoch_us = int(value)
            elif word == "visible":
                self.visible_us = int(value)
            elif word == "painted":
                self.painted_us = int(value)
                self.outcome = "painted"
                break
            elif word in ("timeout", "ended"):
                self.outcome = line.strip()
                break
        if self.outcome != "painted":
            self.stop()
            raise RuntimeError(f"{program}: {self.outcome or 'the probe ended'} "
                               f"(visible {self.visible_us}, painted {self.painted_us})")

    def stop(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.stdout.read()
            self.process.wait(30)


def program_env(display, state=None, call_log=None):
    env = dict(os.environ, DISPLAY=display.name)
    env.pop("VESK2_SIM_LOG", None)
    env.pop("VESK2_SIM_STATE", None)
    if state:
        env["VESK2_SIM_STATE"] = state
    if call_log:
        env["VESK2_SIM_LOG"] = call_log
    return env


def read_text(path):
    with open(path) as f:
        return f.read()


def sample_threads(pid):
    """{tid: {"name", "cpu_ns", "switches"}} for every thread of the process now."""
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            cpu_ns, _ = analysis.parse_schedstat(read_text(f"/proc/{pid}/task/{tid}/schedstat"))
            status = analysis.parse_status(read_text(f"/proc/{pid}/task/{tid}/status"))
        except FileNotFoundError:
            continue
        threads[int(tid)] = {"name": status["name"], "cpu_ns": cpu_ns, "switches": status["switches"]}
    return threads


def resident_kb(pid):
    return analysis.parse_status(read_text(f"/proc/{pid}/status"))["rss_kb"]


# ---------------------------------------------------------------------------
def interleaved_starts(bin_dir, programs, runs, env, timeout_ms=20000, prefix=()):
    """{key: {"visible": [...], "painted": [...]}} over runs starts of each program,
    programs being {key: (program, title, pixels, arguments)}: one unrecorded start
    of each first, so the files are in the page cache for all that follow, then
    starts in turns whose order flips every run."""
    results = {key: {"visible": [], "painted": []} for key in programs}
    for key, (program, title, pixels, arguments) in programs.items():
        ProbedProgram(bin_dir, program, title, pixels, env, timeout_ms, prefix, arguments).stop()
    for run in range(runs):
        order = list(programs) if run % 2 == 0 else list(reversed(list(programs)))
        for key in order:
            program, title, pixels, arguments = programs[key]
            probed = ProbedProgram(bin_dir, program, title, pixels, env, timeout_ms, prefix, arguments)
            probed.stop()
            results[key]["visible"].append(probed.visible_us)
            results[key]["painted"].append(probed.painted_us)
    return results


def measure_startup(bin_dir, runs, state):
    display = Display()
    programs = {
        "ours": ("Vesk2ControlPanel", OURS_TITLE, OURS_PIXELS, ()),
        "minimal": ("vesk2-minimal-window", MINIMAL_TITLE, MINIMAL_PIXELS, ()),
        "minimal_text": ("vesk2-minimal-window", MINIMAL_TITLE, TEXT_PIXELS, ("--draw-text",)),
    }
    try:
        return interleaved_starts(bin_dir, programs, runs, program_env(display, state))
    finally:
        display.close()


def measure_windows_startup(bin_dir, windows_bin, runs, state):
    """The Windows build of the program and of the minimal window, each started by
    wine64 under the Linux probe: Wine shows a top-level window as an X window of
    the client area alone, so the probe's pixels are the same as on Linux.
    Under a window manager, as on Windows: without one, Wine waits seconds for
    each window it hides to be withdrawn (JUCE makes the window again for its
    native title bar), a cost no user pays. One Wine prefix of the benchmark's
    own, kept between runs of bench.py; its server stays up across the runs, so
    no run pays for starting it."""
    wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
    wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    windows_bin = os.path.abspath(windows_bin)
    display = Display()
    env = program_env(display)
    window_manager = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env.update(WINEPREFIX=os.path.join(os.path.dirname(windows_bin), "wineprefix-bench"),
               WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
               VESK2_SIM_STATE="Z:" + state.replace("/", "\\"))
    programs = {
        "ours": (os.path.join(windows_bin, "Vesk2ControlPanel.exe"), OURS_TITLE, OURS_PIXELS, ()),
        "minimal": (os.path.join(windows_bin, "vesk2-minimal-window.exe"), MINIMAL_TITLE, MINIMAL_PIXELS, ()),
    }
    try:
        deadline = time.monotonic() + 20
        while subprocess.run(["wmctrl", "-m"], env=env, capture_output=True).returncode != 0:
            if time.monotonic() > deadline:
                raise RuntimeError("openbox did not start")
            time.sleep(0.1)
        subprocess.run([wine, "wineboot", "-i"], env=env, capture_output=True, timeout=300, check=True)
        subprocess.run([wineserver, "-p"], env=env, check=True)
        return interleaved_starts(bin_dir, programs, runs, env, timeout_ms=120000, prefix=(wine,))
    finally:
        subprocess.run([wineserver, "-k"], env=env, capture_output=True, check=False)
        window_manager.terminate()
        window_manager.wait()
        display.close()


def measure_startup_breakdown(bin_dir, runs, folder):
    """Where the program's start-up goes, from the simulator's call log of a few
    extra runs (the log costs each driver call a file write, so these runs are
    kept apart from the timed ones): ms from exec to the driver call that ends
    the panel's construction, and to the first paint's driver call."""
    os.makedirs(folder, exist_ok=True)
    state = os.path.join(folder, "state")
    display = Display()
    phases = {"initialise": [], "registered": [], "loop": [], "paint_text": [], "visible": [], "painted": []}
    try:
        for run in range(runs):
            call_log = os.path.join(folder, f"calls-{run}.log")
            probed = ProbedProgram(bin_dir, "Vesk2ControlPanel", OURS_TITLE, OURS_PIXELS,
                                   program_env(display, state, call_log))
            probed.stop()
            with open(call_log) as f:
                calls = [c for c in map(analysis.parse_log_line, f) if c is not None]
            names = [c[1] for c in calls]
            paint = names.index("TUSBAUDIO_GetDriverInfo")
            since_exec = lambda micros: micros - probed.epoch_us  # noqa: E731
            phases["initialise"].append(since_exec(calls[names.index("TUSBAUDIO_EnumerateDevices")][0]))
            phases["registered"].append(since_exec(calls[names.index("TUSBAUDIO_RegisterPnpNotification")][0]))
            phases["loop"].append(since_exec(calls[paint - 1][0]))
            phases["paint_text"].append(since_exec(calls[paint][0]))
            phases["visible"].append(probed.visible_us)
            phases["painted"].append(probed.painted_us)
    finally:
        display.close()
    return phases


def measure_cold_text(bin_dir, runs, state):
    """JUCE's first text on Linux, in fresh processes: the font scan and the
    panel's first paint (logo decode, glyph loading) beside a second paint."""
    results = []
    env = dict(os.environ, VESK2_SIM_STATE=state)
    env.pop("VESK2_SIM_LOG", None)
    for _ in range(runs):
        output = subprocess.run([os.path.join(bin_dir, "vesk2-paint-benchmark"), "--cold-start"],
                                env=env, check=True, capture_output=True, text=True).stdout
        results.append(json.loads(output.strip().splitlines()[-1]))
    return results


def wait_for_repaint(log_path, offset, deadline):
    """Reads the call log from offset until a POST line and a GetDriverInfo after
    it have arrived; returns the new offset (None on timeout)."""
    seen_post = False
    while time.monotonic() < deadline:
        with open(log_path) as f:
            f.seek(offset)
            chunk = f.read()
        # Only whole lines: a line still being written is read again next time.
        complete = chunk[:chunk.rfind("\n") + 1]
        for line in complete.splitlines():
            entry = analysis.parse_log_line(line)
            if entry is None:
                continue
            if entry[1] == "POST":
                seen_post = True
            elif entry[1] == "TUSBAUDIO_GetDriverInfo" and seen_post:
                return offset + len(complete.encode())
        time.sleep(0.002)
    return None


def measure_hotplug(bin_dir, cycles, folder):
    # The log lives apart from the state: the simulator's watcher sleeps on the
    # state file's folder, and every logged call would wake it.
    os.makedirs(os.path.join(folder, "state"), exist_ok=True)
    os.makedirs(os.path.join(folder, "log"), exist_ok=True)
    state = os.path.join(folder, "state", "state")
    call_log = os.path.join(folder, "log", "calls.log")
    sim = os.path.join(bin_dir, "vesk2-sim")

    display = Display()
    timeouts = 0
    try:
        env = program_env(display, state, call_log)
        probed = ProbedProgram(bin_dir, "Vesk2ControlPanel", OURS_TITLE, OURS_PIXELS, env)
        tool_env = program_env(display)
        try:
            time.sleep(0.5)
            offset = os.path.getsize(call_log)
            spacing = random.Random(7)
            for _ in range(cycles):
                for command in ("plug", "unplug"):
                    # JUCE repaints on a display-rate timer: an event sent a fixed time after
                    # the last repaint would always meet that timer at the same phase.
                    time.sleep(spacing.uniform(0.0, 0.03))
                    subprocess.run([sim, "--state", state, command], env=tool_env, check=True,
                                   stdout=subprocess.DEVNULL)
                    new_offset = wait_for_repaint(call_log, offset, time.monotonic() + 5)
                    if new_offset is None:
                        timeouts += 1
                        offset = os.path.getsize(call_log)
                    else:
                        offset = new_offset
        finally:
            probed.stop()
    finally:
        display.close()

    with open(call_log) as f:
        lines = f.readlines()
    return {
        "latencies_us": analysis.hotplug_latencies(lines),
        "unpaired": analysis.unpaired_posts(lines),
        "timeouts": timeouts,
    }


# x86-64 system call numbers a sleeping thread is found in (/proc/.../syscall).
BLOCKED_IN_POLL = {"7", "271"}      # poll, ppoll: the watcher waits on inotify and an eventfd
BLOCKED_IN_FUTEX = {"202"}          # futex: the notification thread waits in GetMessageA


def blocked_in(pid, tid):
    try:
        return read_text(f"/proc/{pid}/task/{tid}/syscall").split()[0]
    except (FileNotFoundError, PermissionError, IndexError):
        return ""


def classify_our_threads(pid, threads):
    """{tid: kind} for the notification thread and the simulator's watcher.

    Linux keeps at most 15 bytes of a thread's name and JUCE's request for
    "win32 notification thread" is refused whole, so that thread carries the
    program's name, like the main thread; so does an unnamed watcher. Such
    threads are told apart by the call they sleep in, else by their order of
    creation (the notification thread starts first: the watcher starts when the
    driver is given its window)."""
    main_name = threads.get(pid, {}).get("name", "")
    kinds = {}
    unnamed = []
    for tid, thread in sorted(threads.items()):
        if tid == pid:
            continue
        if thread["name"].startswith(NOTIFICATION_THREAD):
            kinds[tid] = "notification thread"
        elif thread["name"] in WATCHER_THREAD_NAMES:
            kinds[tid] = "simulator watcher thread"
        elif thread["name"] == main_name:
            unnamed.append(tid)
    for tid in unnamed:
        syscall = blocked_in(pid, tid)
        if syscall in BLOCKED_IN_POLL and "simulator watcher thread" not in kinds.values():
            kinds[tid] = "simulator watcher thread"
        elif syscall in BLOCKED_IN_FUTEX and "notification thread" not in kinds.values():
            kinds[tid] = "notification thread"
    for tid in unnamed:
        if tid not in kinds:
            for kind in ("notification thread", "simulator watcher thread"):
                if kind not in kinds.values():
                    kinds[tid] = kind
                    break
    return kinds


def measure_idle(bin_dir, rounds, seconds, state):
    results = []
    for round_index in range(rounds):
        displays = [Display(), Display()]
        probed = {}
        try:
            # Each program takes the other display every other round.
            keys = ("ours", "minimal") if round_index % 2 == 0 else ("minimal", "ours")
            specs = {"ours": ("Vesk2ControlPanel", OURS_TITLE, OURS_PIXELS),
                     "minimal": ("vesk2-minimal-window", MINIMAL_TITLE, MINIMAL_PIXELS)}
            # Both on one core: whatever else the machine runs meets both alike.
            pin = ["taskset", "-c", str(os.cpu_count() - 1)] if shutil.which("taskset") else []
            for key, display in zip(keys, displays):
                program, title, pixels = specs[key]
                probed[key] = ProbedProgram(bin_dir, program, title, pixels, program_env(display, state), prefix=pin)
            time.sleep(1.0)
            rss = {key: resident_kb(p.pid) for key, p in probed.items()}
            before = {key: sample_threads(p.pid) for key, p in probed.items()}
            kinds = classify_our_threads(probed["ours"].pid, before["ours"])
            start = time.monotonic()
            time.sleep(seconds)
            after = {key: sample_threads(p.pid) for key, p in probed.items()}
            span = time.monotonic() - start
            round_result = {"seconds": span, "rss_kb": rss, "threads": {}}
            for key, p in probed.items():
                deltas = analysis.thread_deltas(before[key], after[key])
                round_result["threads"][key] = [
                    {"tid": tid, "name": d["name"], "cpu_ns": d["cpu_ns"], "switches": d["switches"],
                     "ours": kinds.get(tid) if key == "ours" else None}
                    for tid, d in sorted(deltas.items())]
            results.append(round_result)
        finally:
            for p in probed.values():
                p.stop()
            for display in displays:
                display.close()
    return results


def measure_paint(bin_dir, state, display):
    # Repetitions of the four benchmarks in random turns, so that a busy spell of
    # the machine falls on all of them alike; the table takes the medians.
    command = [os.path.join(bin_dir, "vesk2-paint-benchmark"), "--benchmark_format=json",
               "--benchmark_repetitions=9", "--benchmark_report_aggregates_only=true",
               "--benchmark_enable_random_interleaving=true", "--benchmark_min_time=0.2"]
    output = subprocess.run(command, env=program_env(display, state), check=True,
                            capture_output=True, text=True).stdout
    medians = {}
    for entry in json.loads(output)["benchmarks"]:
        if entry.get("aggregate_name") == "median":
            medians[entry["run_name"]] = entry
    return medians


# ---------------------------------------------------------------------------
def ms(us):
    return f"{us / 1000:.1f}"


def build_table(startup, hotplug, idle, paint, breakdown=None, cold=None, windows=None):
    rows = []
    Row = analysis.Row

    if startup:
        ours_visible = analysis.median(startup["ours"]["visible"])
        ours_painted = analysis.median(startup["ours"]["painted"])
        min_visible = analysis.median(startup["minimal"]["visible"])
        min_painted = analysis.median(startup["minimal"]["painted"])
        n = len(startup["ours"]["visible"])
        r = analysis.ratio(ours_visible, min_visible)
        rows.append(Row(f"start-up: exec to window visible, ms (median of {n})", ms(ours_visible), ms(min_visible),
                        f"{r:.2f}", "ratio <= 1.15", r <= 1.15))
        r = analysis.ratio(ours_painted, min_visible)
        rows.append(Row("start-up: exec to first paint on screen, ms (minimal: to visible)", ms(ours_painted),
                        ms(min_visible), f"{r:.2f}", "ratio <= 1.30", r <= 1.30))
        rows.append(Row("start-up: exec to first paint on screen, ms (minimal: its own)", ms(ours_painted),
                        ms(min_painted), f"{analysis.ratio(ours_painted, min_painted):.2f}"))
        if startup.get("minimal_text", {}).get("painted"):
            text_painted = analysis.median(startup["minimal_text"]["painted"])
            rows.append(Row("start-up: same, minimal window drawing one line of text [a]", ms(ours_painted),
                            ms(text_painted), f"{analysis.ratio(ours_painted, text_painted):.2f}"))

    if windows:
        ours_visible = analysis.median(windows["ours"]["visible"])
        min_visible = analysis.median(windows["minimal"]["visible"])
        n = len(windows["ours"]["visible"])
        r = analysis.ratio(ours_visible, min_visible)
        rows.append(Row(f"Windows start-up under Wine: exec to window visible, ms (median of {n})",
                        ms(ours_visible), ms(min_visible), f"{r:.2f}", "ratio <= 1.15", r <= 1.15))
        ours_painted = analysis.median(windows["ours"]["painted"])
        min_painted = analysis.median(windows["minimal"]["painted"])
        rows.append(Row("Windows start-up under Wine: exec to first paint on screen, ms", ms(ours_painted),
                        ms(min_painted), f"{analysis.ratio(ours_painted, min_painted):.2f}"))

    if breakdown:
        n = len(breakdown["loop"])
        for key, label in (("initialise", "initialise begins"),
                           ("visible", "window visible"),
                           ("registered", "driver registration (the notification window made)"),
                           ("loop", "panel built, message loop starts"),
                           ("paint_text", "first paint reaches its text"),
                           ("painted", "first paint on screen")):
            rows.append(Row(f"  ms from exec [b]: {label}", ms(analysis.median(breakdown[key]))))

    if cold:
        for key, label in (("font_scan_ms", "JUCE's scan of the system's fonts"),
                           ("first_paint_ms", "panel's first paint after it"),
                           ("second_paint_ms", "panel's second paint")):
            rows.append(Row(f"  ms, first text [c]: {label}", f"{analysis.median([c[key] for c in cold]):.1f}"))

    if hotplug:
        all_us = [us for _, us in hotplug["latencies_us"]]
        arrivals = [us for w, us in hotplug["latencies_us"] if w == "1"]
        removals = [us for w, us in hotplug["latencies_us"] if w == "2"]
        if all_us:
            med, p99 = analysis.median(all_us), analysis.percentile(all_us, 99)
            rows.append(Row(f"hot-plug: POST to repaint's GetDriverInfo, median ms ({len(all_us)} events)",
                            ms(med), "", "", "<= 20 ms", med <= 20000))
            rows.append(Row("hot-plug: same, 99th percentile ms", ms(p99), "", "", "<= 50 ms", p99 <= 50000))
            for label, values in (("arrivals", arrivals), ("removals", removals)):
                if values:
                    rows.append(Row(f"hot-plug: {label}, median / p99 ms ({len(values)})",
                                    f"{ms(analysis.median(values))} / {ms(analysis.percentile(values, 99))}"))
        missing = hotplug["unpaired"] + hotplug["timeouts"]
        rows.append(Row("hot-plug: events without a repaint", str(missing), "", "", "0", missing == 0))

    if idle:
        ours_pct, min_pct, differences, wakeups, rss_ours, rss_min = [], [], [], {}, [], []
        all_wakeups = {"ours": [], "minimal": []}
        for round_result in idle:
            seconds = round_result["seconds"]
            o = analysis.core_percent(sum(t["cpu_ns"] for t in round_result["threads"]["ours"]), seconds)
            m = analysis.core_percent(sum(t["cpu_ns"] for t in round_result["threads"]["minimal"]), seconds)
            ours_pct.append(o)
            min_pct.append(m)
            differences.append(o - m)
            for key in all_wakeups:
                all_wakeups[key].append(sum(t["switches"] for t in round_result["threads"][key]))
            for thread in round_result["threads"]["ours"]:
                if thread["ours"]:
                    wakeups.setdefault(thread["ours"], []).append(thread["switches"])
            rss_ours.append(round_result["rss_kb"]["ours"])
            rss_min.append(round_result["rss_kb"]["minimal"])
        seconds = round(idle[0]["seconds"])
        difference = analysis.median(differences)
        rows.append(Row(f"idle: CPU, % of a core over {seconds} s (medians of {len(idle)}; ratio: paired difference)",
                        f"{analysis.median(ours_pct):.3f}", f"{analysis.median(min_pct):.3f}",
                        f"{difference:+.3f} pts", "<= minimal + 0.05 pts", difference <= 0.05))
        rows.append(Row(f"idle: wake-ups of all threads over {seconds} s (median)",
                        str(int(analysis.median(all_wakeups["ours"]))),
                        str(int(analysis.median(all_wakeups["minimal"]))),
                        f"{analysis.ratio(analysis.median(all_wakeups['ours']), analysis.median(all_wakeups['minimal'])):.2f}"))
        for kind in ("notification thread", "simulator watcher thread"):
            counts = wakeups.get(kind)
            if counts is None:
                rows.append(Row(f"idle: wake-ups of the {kind}", "not found", "", "", "0", False))
            else:
                rows.append(Row(f"idle: wake-ups of the {kind} (most in a round)", str(max(counts)), "",
                                "", "0", max(counts) == 0))
        rm, rmin = analysis.median(rss_ours), analysis.median(rss_min)
        rows.append(Row("memory: resident size 1 s after the first paint, MB", f"{rm / 1024:.1f}",
                        f"{rmin / 1024:.1f}", f"{analysis.ratio(rm, rmin):.2f}"))

    if paint:
        def time_us(name):
            entry = paint.get(name)
            return entry["real_time"] if entry else None

        panel, gradient = time_us("BM_PanelPaint"), time_us("BM_GradientOnly")
        if panel is not None and gradient is not None:
            rows.append(Row("paint: the panel's paint at 500 x 350, us (gradient alone beside it)",
                            f"{panel:.1f}", f"{gradient:.1f} (gradient)", f"{analysis.ratio(panel, gradient):.2f}"))
        with_controls = time_us("BM_PanelPaintWithControls")
        if with_controls is not None:
            rows.append(Row("paint: the panel with its two controls, us", f"{with_controls:.1f}"))
        decode = time_us("BM_LogoDecode")
        if decode is not None:
            rows.append(Row("paint: one decode of the logo JPEG alone, us", f"{decode:.1f}"))
        entry = paint.get("BM_PanelPaint")
        if entry is not None:
            decodes = entry.get("jpeg_decoder_runs")
            misses = entry.get("logo_cache_misses")
            counted = paint.get("BM_LogoDecode", {})
            counter_works = counted.get("jpeg_decoder_runs") == counted.get("decodes") and counted.get("decodes")
            shown = decodes if counter_works else misses
            source = "decoder runs" if counter_works else "cache misses"
            rows.append(Row(f"paint: JPEG decodes over {int(entry.get('paints', 0))} paints ({source})",
                            f"{int(shown)}", "", "", "1", int(shown) == 1))
    return rows


def print_notes(startup, breakdown, cold):
    if startup and startup.get("minimal_text"):
        print("\n[a] vesk2-minimal-window --draw-text: its content paints white and one line of bold text,"
          " so it pays JUCE's first-text costs as the panel does.")
    if breakdown:
        print(f"[b] medians of {len(breakdown['loop'])} more runs of the program with the simulator's call log "
              "on, placed by the driver calls they make.")
    if cold:
        print(f"[c] medians of {len(cold)} fresh processes of vesk2-paint-benchmark --cold-start: what only "
              "the first text of a run pays (fonts scanned, glyphs and logo loaded).")


def print_details(idle):
    if not idle:
        return
    print("\nIdle threads, last round (CPU ms and wake-ups over the span):")
    last = idle[-1]
    for key in ("ours", "minimal"):
        for thread in last["threads"][key]:
            label = f" [{thread['ours']}]" if thread["ours"] else ""
            print(f"  {key:8} {thread['name']:16} {thread['cpu_ns'] / 1e6:8.2f} ms {thread['switches']:6d} wake-ups{label}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", required=True, help="the build's bin folder")
    parser.add_argument("--runs", type=int, default=25, help="start-up runs of each program")
    parser.add_argument("--cycles", type=int, default=200, help="plug/unplug cycles (two events each)")
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--idle-rounds", type=int, default=5)
    parser.add_argument("--windows-bin", help="the Windows build's bin folder, for the start-up under Wine")
    parser.add_argument("--only", choices=("startup", "hotplug", "idle", "paint", "windows"), action="append",
                        help="run only these parts (repeatable)")
    parser.add_argument("--json", help="also write every measured value to this file")
    args = parser.parse_args()

    parts = set(args.only or ("startup", "hotplug", "idle", "paint", "windows"))
    if "windows" in parts and not (args.windows_bin and os.path.isfile(
            os.path.join(args.windows_bin, "vesk2-minimal-window.exe"))):
        log("Windows start-up: skipped, no Windows build with the minimal window (--windows-bin)")
        parts.discard("windows")
    for tool in ("Xvfb",):
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is missing (scripts/install-deps.sh installs it)")

    folder = tempfile.mkdtemp(prefix="vesk2-bench-")
    state = os.path.join(folder, "state")      # missing: the simulator's default, one Vesk 2 connected
    startup = hotplug = idle = paint = breakdown = cold = windows = None
    try:
        if "startup" in parts:
            log(f"start-up: {args.runs} interleaved runs of each program ...")
            startup = measure_startup(args.bin, args.runs, state)
            breakdown = measure_startup_breakdown(args.bin, 7, os.path.join(folder, "breakdown"))
            cold = measure_cold_text(args.bin, 5, state)
        if "windows" in parts:
            log(f"Windows start-up: {args.runs} interleaved runs of each program under Wine ...")
            windows = measure_windows_startup(args.bin, args.windows_bin, args.runs, state)
        if "hotplug" in parts:
            log(f"hot-plug: {args.cycles} plug/unplug cycles ...")
            hotplug = measure_hotplug(args.bin, args.cycles, os.path.join(folder, "hotplug"))
        if "idle" in parts:
            log(f"idle: {args.idle_rounds} rounds of {args.idle_seconds:g} s, both programs at once ...")
            idle = measure_idle(args.bin, args.idle_rounds, args.idle_seconds, state)
        if "paint" in parts:
            log("painting: Google Benchmark ...")
            display = Display()
            try:
                paint = measure_paint(args.bin, state, display)
            finally:
                display.close()
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    print(analysis.format_table(build_table(startup, hotplug, idle, paint, breakdown, cold, windows)))
    print_notes(startup, breakdown, cold)
    print_details(idle)

    if args.json:
        with open(args.json, "w") as f:
            json.dump({"startup": startup, "breakdown": breakdown, "cold_text": cold, "hotplug": hotplug,
                       "idle": idle, "paint": paint, "windows_startup": windows}, f, indent=1)


if __name__ == "__main__":
    main()
