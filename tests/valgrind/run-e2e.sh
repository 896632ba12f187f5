#!/usr/bin/env bash
# Runs end-to-end test files with the program started under a checking tool:
#
#   tests/valgrind/run-e2e.sh [--tool valgrind|asan|tsan] BUILD_DIR [TEST_FILE...]
#
#   valgrind (default)  memcheck, --error-exitcode=1, definite leaks count as errors,
#                       with tests/valgrind/vesk2.supp (only what comes from outside
#                       our code: see that file); BUILD_DIR is a gcc or clang build
#                       without sanitizers (build/debug)
#   asan                a build with AddressSanitizer and LeakSanitizer (build/asan)
#   tsan                a build with ThreadSanitizer (build/tsan)
#
# TEST_FILEs default to every end-to-end file that starts the Linux program
# (tests/e2e/test_*.py but the Windows program's).
#
# The test files start "Vesk2ControlPanel" from $VESK2_BIN; this script points
# VESK2_BIN at a folder whose Vesk2ControlPanel starts the real one under the
# tool, beside the real vesk2-sim and libraries. A tool's finding makes the
# program end with a non-zero exit code, which every test checks. The tools'
# reports are kept in BUILD_DIR/artefacts/<tool>/. Waits are stretched by
# $VESK2_TIME_SCALE (unless set: valgrind 6, asan 2, tsan 4). Ends with "N passed, N failed",
# counting test files.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
tool=valgrind
if [ "${1:-}" = "--tool" ]; then
    tool="${2:?--tool needs valgrind, asan or tsan}"
    shift 2
fi
build="${1:?usage: run-e2e.sh [--tool valgrind|asan|tsan] BUILD_DIR [TEST_FILE...]}"
shift
case "$build" in /*) ;; *) build="$root/$build" ;; esac
bin="$build/bin"
tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
    for test in "$root"/tests/e2e/test_*.py; do
        case "$(basename "$test")" in test_windows_*) ;; *) tests+=("$test") ;; esac
    done
fi

if [ ! -x "$bin/Vesk2ControlPanel" ] || [ ! -x "$bin/vesk2-sim" ]; then
    echo "run-e2e: $bin holds no Vesk2ControlPanel and vesk2-sim; build them first" >&2
    echo "0 passed, 1 failed"
    exit 1
fi

reports="$build/artefacts/$tool"
rm -rf "$reports"
mkdir -p "$reports"
wrapped="$(mktemp -d "${TMPDIR:-/tmp}/vesk2-$tool-bin.XXXXXX")"
trap 'rm -rf "$wrapped"' EXIT
for file in "$bin"/*; do
    [ "$(basename "$file")" = Vesk2ControlPanel ] || ln -s "$file" "$wrapped/"
done

# JUCE loads the X libraries with dlopen and unloads them as it shuts down, so
# what they allocated for the display (never freed by XCloseDisplay) would show
# as leaks of an unknown module. Loaded from the start they stay, and their
# allocations stay reachable from their own globals.
x_libraries="libX11.so.6 libXext.so.6 libXrandr.so.2 libXinerama.so.1 libXcursor.so.1 libXrender.so.1"

case "$tool" in
    valgrind)
        command -v valgrind >/dev/null || { echo "run-e2e: valgrind is not installed"; echo "0 passed, 1 failed"; exit 1; }
        export VESK2_TIME_SCALE="${VESK2_TIME_SCALE:-6}"
        launch="exec env LD_PRELOAD=\"$x_libraries\" valgrind --tool=memcheck --error-exitcode=1 \
--leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite --track-origins=yes \
--suppressions=\"$here/vesk2.supp\" --gen-suppressions=all --log-file=\"$reports/valgrind.%p.log\" \
\"$bin/Vesk2ControlPanel\" \"\$@\""
        ;;
    asan)
        export VESK2_TIME_SCALE="${VESK2_TIME_SCALE:-2}"
        launch="export LD_PRELOAD=\"$x_libraries\"
export ASAN_OPTIONS=\"\${ASAN_OPTIONS:-detect_leaks=1:log_path=$reports/asan}\"
exec \"$bin/Vesk2ControlPanel\" \"\$@\""
        ;;
    tsan)
        export VESK2_TIME_SCALE="${VESK2_TIME_SCALE:-4}"
        launch="export TSAN_OPTIONS=\"\${TSAN_OPTIONS:-halt_on_error=0:exitcode=66:log_path=$reports/tsan}\"
exec \"$bin/Vesk2ControlPanel\" \"\$@\""
        ;;
    *)
        echo "run-e2e: unknown tool $tool" >&2
        echo "0 passed, 1 failed"
        exit 1
        ;;
esac

printf '#!/bin/sh\n%s\n' "$launch" > "$wrapped/Vesk2ControlPanel"
chmod +x "$wrapped/Vesk2ControlPanel"

export VESK2_CHECKER="$tool"
passed=0
failed=0
for test in "${tests[@]}"; do
    name="$(basename "$test" .py)"
    echo "== $name under $tool"
    started=$SECONDS
    if VESK2_BIN="$wrapped" VESK2_ARTEFACTS="$reports" python3 "$test"; then
        passed=$((passed + 1))
        echo "== $name under $tool: passed in $((SECONDS - started)) s"
    else
        failed=$((failed + 1))
        echo "== $name under $tool: FAILED in $((SECONDS - started)) s"
    fi
done

# Whatever the tool found, in full, for the log.
found=0
for report in "$reports"/valgrind.*.log "$reports"/asan.* "$reports"/tsan.*; do
    [ -f "$report" ] || continue
    if grep -qE "ERROR SUMMARY: [1-9]|ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error|WARNING: ThreadSanitizer" "$report"; then
        found=$((found + 1))
        echo "---- $report"
        cat "$report"
    fi
done
echo "$tool: $found program runs with findings (reports in $reports)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
