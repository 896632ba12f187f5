#!/usr/bin/env bash
# Builds the release configuration with the benchmarks, runs them and prints one
# table: the program beside a minimal JUCE window built in the same tree.
#
#   ./bench/run.sh                 install what is missing, build, measure
#   ./bench/run.sh --no-build      measure what build/bench holds
#   ./bench/run.sh --only idle     one part: startup, hotplug, idle, paint, windows
#                                  (the other options of bench/bench.py pass on)
#
# Takes about two minutes once built; the first build compiles JUCE as well.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VESK2_BENCH_BUILD_DIR:-$root/build/bench}"
# The Windows start-up row times this tree's Windows programs under Wine.
windows_build="${VESK2_WINDOWS_BUILD:-$root/build/win}"

build_first=1
arguments=()
for argument in "$@"; do
    if [ "$argument" = "--no-build" ]; then
        build_first=0
    else
        arguments+=("$argument")
    fi
done

if [ "$build_first" = 1 ]; then
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVESK2_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build "$build" -j "${VESK2_JOBS:-$(nproc)}" --target \
        Vesk2ControlPanel vesk2-sim vesk2-minimal-window vesk2-window-probe vesk2-paint-benchmark
    (cd "$root" && cmake --preset windows >/dev/null &&
        cmake --build --preset windows -j "${VESK2_JOBS:-$(nproc)}" --target \
            Vesk2ControlPanel tusbaudioapi vesk2-minimal-window)
fi

exec python3 "$root/bench/bench.py" --bin "$build/bin" --windows-bin "$windows_build/bin" --json "$build/bench-results.json" "${arguments[@]}"
