#!/usr/bin/env bash
# Installs what is missing, builds the program and opens its window against the
# driver simulator. Without a display it starts a virtual one, saves a
# screenshot of the window and prints where.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

"$root/scripts/install-deps.sh"
cmake --preset release >/dev/null
cmake --build --preset release -j "${VESK2_JOBS:-$(nproc)}" --target Vesk2ControlPanel vesk2-sim

bin="$root/build/release/bin"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$bin/Vesk2ControlPanel" "$@"
fi

# No display: a virtual one with a window manager, for one screenshot.
source "$root/scripts/virtual-display.sh"
start_virtual_display
openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
program_pid=""
trap 'kill "$program_pid" "$wm_pid" "$xvfb_pid" 2>/dev/null || true' EXIT

"$bin/Vesk2ControlPanel" "$@" &
program_pid=$!

window=""
for _ in $(seq 100); do
    window="$(xdotool search --onlyvisible --name '^Vesk 2 Control Panel$' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    if ! kill -0 "$program_pid" 2>/dev/null; then
        wait "$program_pid"; status=$?
        echo "The program ended without a window (exit code $status)."
        exit 0
    fi
    sleep 0.1
done
[ -n "$window" ] || { echo "The window did not open." >&2; exit 1; }

sleep 1
shot="$root/build/release/screenshot.png"
import -window root "$shot"
echo "No display here: the window was shown on a virtual one; its screenshot is $shot"
wmctrl -i -c "$window"
wait "$program_pid"
