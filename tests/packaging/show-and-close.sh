#!/bin/sh
# show-and-close.sh TITLE PROGRAM [ARGUMENTS...]
#
# Starts PROGRAM on the X display in $DISPLAY (run it through
# tests/support/run-under-xvfb.sh), waits up to 30 seconds for a window
# whose title is exactly TITLE, asks the window manager to close that window
# as a user's click on its close button would, and waits up to 30 seconds
# for the program to end. Succeeds when the window showed and the program
# ended by itself with status 0; says what went wrong otherwise.
set -u
title=$1
shift
for tool in wmctrl xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "show-and-close: $tool is not installed" >&2
        exit 1
    }
done

"$@" &
program=$!
window=""
tries=0
while [ -z "$window" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 300 ] || ! kill -0 "$program" 2>/dev/null; then
        echo "show-and-close: no window titled \"$title\" showed; the windows were:" >&2
        xwininfo -root -tree 2>/dev/null | grep '"' >&2
        kill "$program" 2>/dev/null
        exit 1
    fi
    sleep 0.1
    # xwininfo lists each window as: 0x1a00007 "title": (...)
    window=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\":" | awk 'NR == 1 { print $1 }')
done
echo "show-and-close: \"$title\" is window $window"
wmctrl -i -c "$window"
tries=0
while kill -0 "$program" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -gt 300 ]; then
        echo "show-and-close: the program did not end after its window was closed" >&2
        kill -9 "$program"
        exit 1
    fi
    sleep 0.1
done
wait "$program"
status=$?
[ "$status" -eq 0 ] || echo "show-and-close: the program ended with status $status" >&2
exit "$status"
