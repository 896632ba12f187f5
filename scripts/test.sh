#!/usr/bin/env bash
# Builds everything and runs every test: the debug build's unit and end-to-end
# tests (the Windows build's checks under Wine among them), clang-tidy, part of
# the end-to-end run again under valgrind, and the unit and end-to-end tests
# again under AddressSanitizer (with UBSan and LSan) and under ThreadSanitizer.
# Ends with one line "N passed, N failed".
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

"$root/scripts/install-deps.sh" || { echo "0 passed, 1 failed"; exit 1; }

jobs="${VESK2_JOBS:-$(nproc)}"
passed=0
failed=0
summary=()

# Runs ctest in a build tree and adds its counts to the totals.
run_ctest() {
    local stage="$1"; shift
    local log
    log="$(mktemp)"
    ctest "$@" 2>&1 | tee "$log"
    local line total bad
    line="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
    if [ -z "$line" ]; then
        if grep -q "No tests were found" "$log"; then
            summary+=("$stage: no tests")
        else
            summary+=("$stage: ctest did not finish")
            failed=$((failed + 1))
        fi
    else
        bad="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
        total="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
        passed=$((passed + total - bad))
        failed=$((failed + bad))
        summary+=("$stage: $((total - bad)) passed, $bad failed")
    fi
    rm -f "$log"
}

build_preset() {
    local preset="$1"
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs"
}

stage_failed() {
    summary+=("$1: build failed")
    failed=$((failed + 1))
}

source "$root/scripts/virtual-display.sh"

# The unit tests start JUCE's GUI layer, so they share one virtual display;
# each end-to-end test starts displays of its own.
xvfb_pid=""
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null' EXIT
start_virtual_display || { echo "0 passed, 1 failed"; exit 1; }

# The Windows program, checked under Wine by end-to-end tests of the debug tree.
echo "== windows build"
# The packages too: the install check runs the installer, and lists both packages.
{ build_preset windows && cmake --build --preset windows --target package; } || stage_failed "windows"

echo "== debug build"
if build_preset debug; then
    run_ctest "debug: unit tests" --test-dir build/debug -LE e2e -j "$jobs" --output-on-failure --timeout 300
    # The fault matrix runs in full under AddressSanitizer below, which checks
    # the same pixels and calls with more besides, so the debug run leaves it out.
    run_ctest "debug: end-to-end tests" --test-dir build/debug -L e2e -E e2e.test_fault_matrix --output-on-failure
else
    stage_failed "debug"
fi

# A check that is not a test runner's counts as one test: passed or failed.
run_check() {
    local name="$1"; shift
    if "$@"; then
        passed=$((passed + 1)); summary+=("$name: passed")
    else
        failed=$((failed + 1)); summary+=("$name: FAILED")
    fi
}

echo "== clang-tidy"
run_check "clang-tidy" "$root/scripts/clang-tidy.sh" build/debug

# End-to-end files with the program under a checking tool; adds the runner's
# counts (one per file) to the totals.
run_checked_e2e() {
    local stage="$1"; shift
    local log line
    log="$(mktemp)"
    "$root/tests/valgrind/run-e2e.sh" "$@" 2>&1 | tee "$log"
    line="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1)"
    rm -f "$log"
    if [ -z "$line" ]; then
        summary+=("$stage: did not finish")
        failed=$((failed + 1))
    else
        local good bad
        good="${line%% passed*}"
        bad="${line#*, }"
        bad="${bad%% failed}"
        passed=$((passed + good))
        failed=$((failed + bad))
        summary+=("$stage: $line")
    fi
}

# Memcheck is the slowest tool by far: it takes the application's own test and
# the fault matrix's start-up rows (each driver function failing once).
echo "== debug build under valgrind"
if [ -x build/debug/bin/Vesk2ControlPanel ]; then
    VESK2_FAULT_ROWS="at start-up" run_checked_e2e "debug under valgrind: end-to-end files" \
        --tool valgrind build/debug tests/e2e/test_application.py tests/e2e/test_fault_matrix.py
fi

# Every driver call runs on the message thread, so under ThreadSanitizer the
# fault matrix takes only the rows where another thread takes part: arrivals,
# which the notification thread posts, and registering and unregistering for them.
declare -A fault_rows=([asan]="" [tsan]="at arrival|PnpNotification")
for preset in asan tsan; do
    echo "== $preset build"
    if build_preset "$preset"; then
        run_ctest "$preset: unit tests" --test-dir "build/$preset" -LE e2e -j "$jobs" --output-on-failure --timeout 600
        VESK2_FAULT_ROWS="${fault_rows[$preset]}" run_checked_e2e "$preset: end-to-end files" --tool "$preset" "build/$preset"
    else
        stage_failed "$preset"
    fi
done

printf '\n== summary\n'
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
