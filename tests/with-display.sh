#!/bin/sh
# The unit tests start JUCE's GUI layer, so each needs an X display. One Xvfb
# serves a whole CTest run of a build tree:
#
#   with-display.sh start STATE_FILE     starts it (the CTest fixture display.start)
#   with-display.sh stop STATE_FILE      ends it (display.stop)
#   with-display.sh run STATE_FILE PROGRAM [ARGUMENTS...]
#                                        runs a test program on it, or, when no
#                                        run has started one (test discovery at
#                                        build time), on an Xvfb of its own
set -eu
action="$1"
state="$2"
shift 2

# Starts Xvfb on a free display number; prints "DISPLAY PID".
start_xvfb() {
    fifo="$(mktemp -u)"
    mkfifo "$fifo"
    exec 3<>"$fifo"
    rm -f "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    pid=$!
    read -r number <&3 || { echo "Xvfb did not start" >&2; exit 1; }
    exec 3<&-
    echo ":$number $pid"
}

case "$action" in
    start)
        start_xvfb > "$state"
        ;;
    stop)
        [ -f "$state" ] && kill "$(cut -d' ' -f2 "$state")" 2>/dev/null || true
        rm -f "$state"
        ;;
    run)
        own=""
        if [ -f "$state" ] && kill -0 "$(cut -d' ' -f2 "$state")" 2>/dev/null; then
            DISPLAY="$(cut -d' ' -f1 "$state")"
        else
            own="$(start_xvfb)"
            DISPLAY="${own% *}"
        fi
        export DISPLAY
        status=0
        "$@" || status=$?
        [ -z "$own" ] || kill "${own#* }"
        exit "$status"
        ;;
    *)
        echo "with-display.sh: start, stop or run" >&2
        exit 2
        ;;
esac
