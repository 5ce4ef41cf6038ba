#!/bin/sh
# run-tray-under-xvfb.sh PROGRAM [ARGUMENTS...]
#
# Runs PROGRAM on a private X server (Xvfb, on a display number it picks
# itself) with a real system tray (trayer) and no session bus, so that Qt
# docks its tray icon the X11 way, and stops both afterwards. Without Xvfb or
# trayer, PROGRAM runs offscreen with TW_TRAY_MISSING saying why, so that the
# case skips itself.
set -u

missing=""
for tool in Xvfb trayer xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    TW_TRAY_MISSING="not installed:$missing" QT_QPA_PLATFORM=offscreen exec "$@"
fi

work=$(mktemp -d)
xvfb=""
tray=""
stop() {
    [ -n "$tray" ] && kill "$tray" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    [ -n "$tray" ] && wait "$tray" 2>/dev/null
    [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 129' HUP INT TERM

# Xvfb writes the display number it took to the descriptor.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 200 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        echo "run-tray-under-xvfb: Xvfb did not start" >&2
        cat "$work/xvfb.log" >&2
        exit 1
    fi
    sleep 0.05
done
DISPLAY=":$(cat "$work/display")"
export DISPLAY
# No session bus: Qt would otherwise look for a StatusNotifier host there.
unset DBUS_SESSION_BUS_ADDRESS

HOME="$work" trayer --edge bottom --align right --widthtype pixel --width 160 \
    --heighttype pixel --height 32 --SetDockType true --transparent false \
    >"$work/trayer.log" 2>&1 &
tray=$!

# The program waits (bounded) for the tray to take the selection itself.
QT_QPA_PLATFORM=xcb TW_UNDER_TRAYER=1 "$@"
status=$?
if [ "$status" -ne 0 ]; then
    echo "run-tray-under-xvfb: trayer said:" >&2
    cat "$work/trayer.log" >&2
fi
exit "$status"
