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
# As on a desktop, the window manager runs before the program starts. A program
# whose window was open before openbox started ended with exit code 1 when
# closed through openbox (Xlib's exit on a lost connection, it seems).
for _ in $(seq 100); do
    wmctrl -m >/dev/null 2>&1 && break
    sleep 0.1
done
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
# JUCE makes its window again when it takes the system's title bar, so the
# window found first may be gone: it is looked up anew for each close request,
# and the request is repeated until the program ends (one made while openbox
# is still taking the window on is lost).
for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    window="$(xdotool search --onlyvisible --name '^Vesk 2 Control Panel$' 2>/dev/null | head -n 1 || true)"
    if [ -n "$window" ]; then
        wmctrl -i -c "$window" 2>/dev/null || true
    fi
    sleep 0.2
done
status=0
wait "$program_pid" || status=$?
program_pid=""
echo "The window was closed; the program ended with exit code $status."
exit "$status"
