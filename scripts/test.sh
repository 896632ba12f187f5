#!/usr/bin/env bash
# Builds everything and runs every test, one CMake workflow per build tree
# (CMakePresets.json):
#   windows   the MinGW-w64 build with its packages, checked under Wine
#   asan      AddressSanitizer with UBSan and LSan: the unit tests, every Linux
#             end-to-end test and the fuzzers
#   memcheck  the debug tree: start-up and shutdown under memcheck, clang-tidy
#   tsan      ThreadSanitizer: the tests of code that threads share and the
#             end-to-end tests where a second thread takes part, but the storm
#
#   scripts/test.sh [WORKFLOW...]      default: all four, in that order
#
# The end-to-end tests spend most of their time waiting for the program, so each
# workflow starts as soon as the one before it has built and begun its tests:
# one tree builds at a time while the others test. Prints each workflow's log as
# it ends, then how long each took to build and to test, and ends with one line
# "N passed, N failed" counting every test case (scripts/count-results.py).
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

"$root/scripts/install-deps.sh" || { echo "0 passed, 1 failed"; exit 1; }

workflows=("$@")
[ ${#workflows[@]} -gt 0 ] || workflows=(windows asan memcheck tsan)
declare -A tree_of=([dev]=build/asan [asan]=build/asan [tsan]=build/tsan [memcheck]=build/debug [windows]=build/win)

logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
started_all=$SECONDS

# Runs one workflow into its log, noting when its tests began and when it ended.
run_workflow() {
    local workflow="$1" log="$logs/$1"
    echo "$SECONDS" > "$log.start"
    cmake --workflow --preset "$workflow" 2>&1 | while IFS= read -r line; do
        case "$line" in "Test project "*) [ -f "$log.testing" ] || echo "$SECONDS" > "$log.testing" ;; esac
        printf '%s\n' "$line"
    done > "$log"
    echo "$SECONDS" > "$log.end"
}

trees=()
for workflow in "${workflows[@]}"; do
    tree="${tree_of[$workflow]:?unknown workflow $workflow}"
    trees+=("$tree")
    rm -rf "$tree/junit"
    echo "== $workflow: started at $((SECONDS - started_all)) s"
    run_workflow "$workflow" &
    # The next tree builds once this one is testing (or has stopped).
    while [ ! -f "$logs/$workflow.testing" ] && [ ! -f "$logs/$workflow.end" ]; do
        sleep 1
    done
done

times=()
for workflow in "${workflows[@]}"; do
    while [ ! -f "$logs/$workflow.end" ]; do
        sleep 1
    done
    printf '\n== %s\n' "$workflow"
    cat "$logs/$workflow"
    start="$(cat "$logs/$workflow.start")"
    end="$(cat "$logs/$workflow.end")"
    testing="$(cat "$logs/$workflow.testing" 2>/dev/null || echo "$end")"
    times+=("$workflow: built in $((testing - start)) s, tested in $((end - testing)) s (from $((start - started_all)) s to $((end - started_all)) s)")
done
wait

printf '\n== times\n'
printf '%s\n' "${times[@]}" "all: $((SECONDS - started_all)) s"
printf '\n== summary\n'
/usr/bin/python3 "$root/scripts/count-results.py" "${trees[@]}"
