#!/bin/sh
# run-under-xvfb.sh PROGRAM [ARGUMENTS...]
#
# Runs PROGRAM on a private X server (Xvfb, on a display number it picks
# itself) with the openbox window manager, on Qt's xcb platform, and stops
# both afterwards. Without Xvfb or openbox, PROGRAM runs offscreen with
# TW_XVFB_MISSING saying why, so that it can skip itself.
set -u

missing=""
for tool in Xvfb openbox xprop; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    TW_XVFB_MISSING="not installed:$missing" QT_QPA_PLATFORM=offscreen exec "$@"
fi

work=$(mktemp -d)
xvfb=""
wm=""
stop() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    [ -n "$wm" ] && wait "$wm" 2>/dev/null
    [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 129' HUP INT TERM

# Xvfb writes the display number it took to the descriptor.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        echo "run-under-xvfb: Xvfb did not start" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.05
done
DISPLAY=":$(cat "$work/display")"
export DISPLAY

HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
# The window manager is up once it names its check window on the root.
tries=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$wm" 2>/dev/null; then
        echo "run-under-xvfb: openbox did not start" >&2
        cat "$work/openbox.log" >&2
        exit 1
    fi
    sleep 0.05
done

QT_QPA_PLATFORM=xcb TW_UNDER_XVFB=1 "$@"
status=$?
exit "$status"
