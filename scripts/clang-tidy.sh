#!/usr/bin/env bash
# Runs clang-tidy with the checked-in .clang-tidy over the program's own sources
# (app/, device/, panel/, platform/, simulator/; not JUCE, not the tests) as one
# build tree compiled them. Exits non-zero on any finding.
#
#   scripts/clang-tidy.sh [BUILD_DIR]     default: build/debug
#
# BUILD_DIR must hold compile_commands.json (every preset writes one). Runs
# $VESK2_JOBS files at a time (default: the number of processors).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-build/debug}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac

if [ ! -f "$build/compile_commands.json" ]; then
    echo "clang-tidy: $build/compile_commands.json is missing; configure that build first" >&2
    exit 2
fi

runner="$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)"
tidy="$(command -v clang-tidy || command -v clang-tidy-14 || true)"
if [ -z "$runner" ] || [ -z "$tidy" ]; then
    echo "clang-tidy: clang-tidy and run-clang-tidy are needed (Debian package clang-tidy)" >&2
    exit 2
fi

# The build's commands, less a precompiled header of GCC's that they force-include
# (clang cannot read it, and every file includes what it needs itself); clang's
# own saves parsing JUCE's headers once more for each file.
database="$(mktemp -d)"
log="$database/log"
trap 'rm -rf "$database"' EXIT
/usr/bin/python3 - "$build/compile_commands.json" "$database/compile_commands.json" <<'PYTHON'
import json, os, re, sys
commands = json.load(open(sys.argv[1]))
for entry in commands:
    entry["command"] = re.sub(r" -include (\S*cmake_pch\.hxx)",
                              lambda found: "" if os.path.exists(found[1] + ".gch") else found[0], entry["command"])
json.dump(commands, open(sys.argv[2], "w"))
PYTHON

# GCC-only warning flags in a GCC build's commands mean nothing to clang.
status=0
"$runner" -p "$database" -clang-tidy-binary "$tidy" -j "${VESK2_JOBS:-$(nproc)}" -quiet \
    -extra-arg=-Wno-unknown-warning-option \
    "^$root/(app|device|panel|platform|simulator)/" >"$log" 2>&1 || status=$?

# Only the findings and the files they are in; not the progress lines.
grep -E "(warning|error): " "$log" | sed -E 's/\x1b\[[0-9;]*m//g' | sort -u || true
findings="$(grep -cE "(warning|error): " "$log" || true)"

if [ "$status" -ne 0 ] || [ "$findings" -ne 0 ]; then
    echo "clang-tidy: $findings findings (exit status $status)"
    exit 1
fi

echo "clang-tidy: no findings"
