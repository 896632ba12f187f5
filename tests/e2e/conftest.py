"""pytest's set-up for the end-to-end tests.

With VESK2_CHECKER set (valgrind, asan or tsan), every test starts the program
under that tool: VESK2_BIN is pointed at a folder of this worker's own whose
Vesk2ControlPanel starts the real one under the tool, beside the real vesk2-sim
and libraries. A finding makes the program end with a non-zero exit code, which
every test checks; the reports are kept in $VESK2_ARTEFACTS/<tool>/ and the
ones with findings are printed at the end. Waits are stretched by
VESK2_TIME_SCALE, unless set: valgrind 6, asan 2, tsan 4.

This runs before harness is imported, which reads both variables.
"""

import atexit
import glob
import os
import shutil
import stat
import tempfile

CHECKER = os.environ.get("VESK2_CHECKER", "")
TIME_SCALES = {"valgrind": "6", "asan": "2", "tsan": "4"}
HERE = os.path.dirname(os.path.abspath(__file__))

# JUCE loads the X libraries with dlopen and unloads them as it shuts down, so
# what they allocated for the display (never freed by XCloseDisplay) would show
# as leaks of an unknown module. Loaded from the start they stay, and their
# allocations stay reachable from their own globals.
X_LIBRARIES = "libX11.so.6 libXext.so.6 libXrandr.so.2 libXinerama.so.1 libXcursor.so.1 libXrender.so.1"


def launch_line(tool, program, reports):
    # Memcheck finds uninitialised values without --track-origins, at half the
    # cost; to learn where one came from, add it by VALGRIND_OPTS.
    if tool == "valgrind":
        suppressions = os.path.join(HERE, "..", "valgrind", "vesk2.supp")
        return (f'exec env LD_PRELOAD="{X_LIBRARIES}" valgrind --tool=memcheck --error-exitcode=1 '
                "--leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite "
                f'--suppressions="{suppressions}" --gen-suppressions=all '
                f'--log-file="{reports}/valgrind.%p.log" "{program}" "$@"')
    if tool == "asan":
        return (f'export LD_PRELOAD="{X_LIBRARIES}"\n'
                f'export ASAN_OPTIONS="${{ASAN_OPTIONS:-detect_leaks=1:log_path={reports}/asan}}"\n'
                f'exec "{program}" "$@"')
    if tool == "tsan":
        return (f'export TSAN_OPTIONS="${{TSAN_OPTIONS:-halt_on_error=0:exitcode=66:log_path={reports}/tsan}}"\n'
                f'exec "{program}" "$@"')
    raise RuntimeError(f"VESK2_CHECKER: unknown tool {tool!r} (valgrind, asan or tsan)")


def wrap_program_under(tool):
    bin_folder = os.environ["VESK2_BIN"]
    reports = os.path.join(os.environ["VESK2_ARTEFACTS"], tool)
    os.makedirs(reports, exist_ok=True)
    wrapped = tempfile.mkdtemp(prefix=f"vesk2-{tool}-bin.")
    atexit.register(shutil.rmtree, wrapped, True)
    for name in os.listdir(bin_folder):
        if name != "Vesk2ControlPanel":
            os.symlink(os.path.join(bin_folder, name), os.path.join(wrapped, name))
    launcher = os.path.join(wrapped, "Vesk2ControlPanel")
    with open(launcher, "w") as script:
        script.write("#!/bin/sh\n" + launch_line(tool, os.path.join(bin_folder, "Vesk2ControlPanel"), reports) + "\n")
    os.chmod(launcher, os.stat(launcher).st_mode | stat.S_IXUSR)
    os.environ["VESK2_BIN"] = wrapped


def reports_with_findings(tool):
    reports = os.path.join(os.environ["VESK2_ARTEFACTS"], tool)
    for report in sorted(glob.glob(os.path.join(reports, "*"))):
        with open(report, errors="replace") as text:
            content = text.read()
        if any(mark in content for mark in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error",
                                            "WARNING: ThreadSanitizer")) \
                or ("ERROR SUMMARY:" in content and "ERROR SUMMARY: 0 " not in content):
            yield report, content


if CHECKER:
    os.environ.setdefault("VESK2_TIME_SCALE", TIME_SCALES.get(CHECKER, "1"))
    # The controlling process (or the only one) starts the reports afresh; the
    # xdist workers it starts add to them.
    if "PYTEST_XDIST_WORKER" not in os.environ:
        shutil.rmtree(os.path.join(os.environ["VESK2_ARTEFACTS"], CHECKER), ignore_errors=True)
    wrap_program_under(CHECKER)


def pytest_terminal_summary(terminalreporter):
    if not CHECKER or "PYTEST_XDIST_WORKER" in os.environ:
        return
    found = list(reports_with_findings(CHECKER))
    for report, content in found:
        terminalreporter.write_line(f"---- {report}")
        terminalreporter.write(content)
    terminalreporter.write_line(f"{CHECKER}: {len(found)} program runs with findings "
                                f"(reports in {os.environ['VESK2_ARTEFACTS']}/{CHECKER})")
