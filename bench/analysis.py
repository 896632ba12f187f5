"""The arithmetic of the benchmark table, kept apart from the measuring so that
it can be tested: medians and percentiles, the pairing of the simulator's call
log into hot-plug latencies, the reading of /proc, the goals and the table.
"""

import math


def median(values):
    """The middle value; the mean of the two middle ones for an even count."""
    ordered = sorted(values)
    if not ordered:
        raise ValueError("median of no values")
    middle = len(ordered) // 2
    if len(ordered) % 2:
        return ordered[middle]
    return (ordered[middle - 1] + ordered[middle]) / 2


def percentile(values, p):
    """The nearest-rank percentile: the smallest value that at least p percent
    of the values are at or below (p = 99 over 200 values is the 198th)."""
    ordered = sorted(values)
    if not ordered:
        raise ValueError("percentile of no values")
    if not 0 < p <= 100:
        raise ValueError("p must be in (0, 100]")
    rank = math.ceil(p / 100 * len(ordered))
    return ordered[rank - 1]


def parse_log_line(line):
    """(micros, name, rest) of one call-log line, or None for a line that is
    not one (a torn or empty line)."""
    parts = line.rstrip("\n").split(" ", 2)
    if len(parts) < 2 or not parts[0].isdigit():
        return None
    return int(parts[0]), parts[1], parts[2] if len(parts) > 2 else ""


def hotplug_latencies(lines, message="1024", repaint_call="TUSBAUDIO_GetDriverInfo"):
    """Pairs each "POST <message> <wParam>" line with the first repaint_call
    line after it in the log and returns [(wParam, microseconds)], in log order.

    A POST with no such call after it (the log ended first) gets no entry; when
    two POSTs come before one repaint, both are paired with it, since that is
    the repaint that follows each of them."""
    pending = []
    latencies = []
    for line in lines:
        entry = parse_log_line(line)
        if entry is None:
            continue
        micros, name, rest = entry
        if name == "POST":
            fields = rest.split()
            if len(fields) >= 2 and fields[0] == message:
                pending.append((fields[1], micros))
        elif name == repaint_call and pending:
            for wparam, posted in pending:
                latencies.append((wparam, micros - posted))
            pending = []
    return latencies


def unpaired_posts(lines, message="1024", repaint_call="TUSBAUDIO_GetDriverInfo"):
    """How many POST lines no repaint followed."""
    posts = 0
    for line in lines:
        entry = parse_log_line(line)
        if entry is not None and entry[1] == "POST" and entry[2].split()[:1] == [message]:
            posts += 1
    return posts - len(hotplug_latencies(lines, message, repaint_call))


def parse_schedstat(text):
    """(nanoseconds on the CPU, timeslices run) from /proc/.../schedstat."""
    fields = text.split()
    return int(fields[0]), int(fields[2])


def parse_status(text):
    """The fields of /proc/.../status that the table uses: the thread's name,
    its context switches (voluntary + involuntary: each is a wake-up of the
    thread or a preemption), and the resident size in kB (None for a thread)."""
    values = {}
    for line in text.splitlines():
        key, _, value = line.partition(":")
        values[key.strip()] = value.strip()
    rss = values.get("VmRSS")
    return {
        "name": values.get("Name", ""),
        "switches": int(values.get("voluntary_ctxt_switches", 0)) + int(values.get("nonvoluntary_ctxt_switches", 0)),
        "rss_kb": int(rss.split()[0]) if rss else None,
    }


def thread_deltas(before, after):
    """Per-thread differences of two samples {tid: {"name", "cpu_ns", "switches"}}.
    A thread that is in only one sample counts from zero (it started) or is
    dropped (it ended: its time is no longer to be had)."""
    deltas = {}
    for tid, end in after.items():
        start = before.get(tid, {"cpu_ns": 0, "switches": 0})
        deltas[tid] = {
            "name": end["name"],
            "cpu_ns": end["cpu_ns"] - start["cpu_ns"],
            "switches": end["switches"] - start["switches"],
        }
    return deltas


def core_percent(cpu_ns, seconds):
    """CPU time as a percentage of one core over a span of wall-clock time."""
    return 100.0 * cpu_ns / (seconds * 1e9)


def ratio(ours, theirs):
    return ours / theirs if theirs else float("inf")


class Row:
    """One line of the table. goal is a text; met is True, False or None (no goal)."""

    def __init__(self, metric, ours, minimal="", ratio_text="", goal="", met=None):
        self.metric, self.ours, self.minimal, self.ratio, self.goal, self.met = \
            metric, ours, minimal, ratio_text, goal, met


def format_table(rows):
    headers = ("metric", "ours", "minimal JUCE", "ratio", "goal", "met?")
    cells = [headers] + [(r.metric, r.ours, r.minimal, r.ratio, r.goal,
                          "" if r.met is None else ("yes" if r.met else "NO")) for r in rows]
    widths = [max(len(str(row[i])) for row in cells) for i in range(len(headers))]
    rule = "+".join("-" * (w + 2) for w in widths)
    lines = []
    for index, row in enumerate(cells):
        lines.append("|".join(f" {str(c):<{w}} " for c, w in zip(row, widths)).rstrip())
        if index == 0:
            lines.append(rule)
    return "\n".join(lines)
