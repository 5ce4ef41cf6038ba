#!/bin/sh
# run-under-xvfb.sh [--tray] PROGRAM [ARGUMENTS...]
#
# Runs PROGRAM on a private X server (Xvfb, on a display number it picks
# itself) with the openbox window manager, on Qt's xcb platform, and stops
# them afterwards. With --tray a system tray (trayer) runs there too, and
# without a session bus, so that Qt docks its tray icon the X11 way
# (TW_UNDER_TRAYER is set; the program waits, bounded, for the tray to take
# its selection). Without the tools, PROGRAM runs offscreen with
# TW_XVFB_MISSING saying why, so that it can skip itself.
set -u

tray=0
if [ "${1:-}" = --tray ]; then
    tray=1
    shift
fi
missing=""
tools="Xvfb openbox xprop"
[ "$tray" = 1 ] && tools="$tools trayer xwininfo"
for tool in $tools; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    TW_XVFB_MISSING="not installed:$missing" QT_QPA_PLATFORM=offscreen exec "$@"
fi

work=$(mktemp -d)
xvfb=""
wm=""
trayer=""
# shellcheck disable=SC2317 # run by the EXIT trap
stop() {
    for pid in $trayer $wm $xvfb; do
        kill "$pid" 2>/dev/null
    done
    for pid in $trayer $wm $xvfb; do
        wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 129' HUP INT TERM

# wait_for PID TRIES CHECK...: runs CHECK every 50 ms until it succeeds;
# fails when PID has ended or after TRIES tries.
wait_for() {
    pid=$1 tries=$2
    shift 2
    until "$@"; do
        tries=$((tries - 1))
        if [ "$tries" -le 0 ] || ! kill -0 "$pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.05
    done
}
# shellcheck disable=SC2317 # run by wait_for
has_display() { [ -s "$work/display" ]; }
# shellcheck disable=SC2317 # run by wait_for
answers() { xprop -root >/dev/null 2>&1; }
# shellcheck disable=SC2317 # run by wait_for
wm_is_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }

# Xvfb writes the display number it took to the descriptor.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
if ! wait_for "$xvfb" 200 has_display; then
    echo "run-under-xvfb: Xvfb did not start" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
DISPLAY=":$(cat "$work/display")"
export DISPLAY

# Xvfb names its display before it takes connections: on a loaded machine a
# client started at once is refused ("Failed to open the display"). Wait
# until the server answers a request of its own.
if ! wait_for "$xvfb" 400 answers; then
    echo "run-under-xvfb: Xvfb took $DISPLAY but does not answer" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

# The window manager is up once it names its check window on the root; it
# gets a second start if the first one ends or does not get there in time.
start_wm() {
    HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm=$!
    if ! wait_for "$wm" 400 wm_is_up; then
        kill "$wm" 2>/dev/null
        wait "$wm" 2>/dev/null
        wm=""
        return 1
    fi
}
if ! start_wm && ! start_wm; then
    echo "run-under-xvfb: openbox did not start (twice)" >&2
    cat "$work/openbox.log" >&2
    exit 1
fi

if [ "$tray" = 1 ]; then
    # No session bus: Qt would otherwise look for a StatusNotifier host there.
    unset DBUS_SESSION_BUS_ADDRESS
    HOME="$work" trayer --edge bottom --align right --widthtype pixel --width 160 \
        --heighttype pixel --height 32 --SetDockType true --transparent false \
        >"$work/trayer.log" 2>&1 &
    trayer=$!
    TW_UNDER_TRAYER=1
    export TW_UNDER_TRAYER
fi

QT_QPA_PLATFORM=xcb TW_UNDER_XVFB=1 "$@"
status=$?
if [ "$status" -ne 0 ] && [ "$tray" = 1 ]; then
    echo "run-under-xvfb: trayer said:" >&2
    cat "$work/trayer.log" >&2
fi
exit "$status"
