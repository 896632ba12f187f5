# Sourced by the scripts that need an X display where there is none.
# start_virtual_display: starts Xvfb on a free display number, exports DISPLAY
# and sets xvfb_pid; returns non-zero when Xvfb does not start.
start_virtual_display() {
    local fifo displayfd display_number
    fifo="$(mktemp -u)"
    mkfifo "$fifo"
    exec {displayfd}<>"$fifo"
    rm -f "$fifo"
    Xvfb -displayfd "$displayfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    if ! read -r -t 10 display_number <&"$displayfd"; then
        echo "Xvfb did not start" >&2
        return 1
    fi
    exec {displayfd}<&-
    export DISPLAY=":$display_number"
}
