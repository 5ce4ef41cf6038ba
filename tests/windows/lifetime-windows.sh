#!/usr/bin/env bash
# The real TW-CLI-UI.exe under Wine (WINEPREFIX set, an X server in
# DISPLAY, as scripts/test-windows.sh runs the tests): a second start of a
# configuration brings the running panel's minimized window up and ends with
# status 0 without a window of its own; the session's end (wineboot
# --end-session: WM_QUERYENDSESSION, then WM_ENDSESSION to every window,
# then the process ended as Windows ends it) closes the panel as its close
# button does, at the first of them, so its position is in the registry.
#
#   lifetime-windows.sh TW-CLI-UI.EXE TW-TEST-WINDOW.EXE
set -euo pipefail
panel=$1 tool=$2
section=TW-CLI-UI-LIFE
title="TARN-WICK - TW-CLI-UI - $section"
key="HKCU\\Software\\VB and VBA Program Settings\\TW-CLI-UI\\$section"
work=$(mktemp -d)
label=lifetime-windows
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    kill_started
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$panel" "$work/$section.exe"
wine reg delete "$key" /f >/dev/null 2>&1 || true
wine reg add "$key" /v AlwaysOnTopTimer_TICKBOX /t REG_SZ /d 0 /f >/dev/null

wine "$work/$section.exe" >"$work/first.log" 2>&1 &
first=$!
pids+=("$first")
wine "$tool" wait "$title" || fail "no window titled \"$title\""
wine "$tool" minimize "$title" || fail "the window did not minimize"
before=$(wine reg query "$key" 2>/dev/null | tr -d '\r')

wine "$work/$section.exe" >"$work/second.log" 2>&1 &
second=$!
pids+=("$second")
finish "$second" 0
wine "$tool" restored "$title" || fail "the running panel's window did not come up"
count=$(wine "$tool" count "$title" | tr -d '\r')
[[ $count == 1 ]] || fail "$count windows titled \"$title\""
[[ $(wine reg query "$key" 2>/dev/null | tr -d '\r') == "$before" ]] ||
    fail "the second start changed the registry"
echo "lifetime-windows: a second start brought the panel up and ended with status 0"

wineboot --end-session
# Once WM_ENDSESSION has been answered the process is ended from outside.
finish "$first" any
grep -q "EVENT the desktop session ends: the panel closes" "$work/first.log" ||
    fail "the panel did not close at WM_QUERYENDSESSION"
wine reg query "$key" /v MainLeft 2>/dev/null | grep -q REG_SZ ||
    fail "no MainLeft in the registry after the session's end"
wine reg query "$key" /v MainTop 2>/dev/null | grep -q REG_SZ ||
    fail "no MainTop in the registry after the session's end"
echo "lifetime-windows: the session's end closed the panel, its position is stored"

if ((failures > 0)); then
    cat "$work/first.log" "$work/second.log" >&2
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
