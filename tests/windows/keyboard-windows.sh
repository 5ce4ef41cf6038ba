#!/usr/bin/env bash
# Typing while "Always On Top" keeps the panel above everything (the real
# TW-CLI-UI.exe under Wine, WINEPREFIX set, an X server in DISPLAY, as
# scripts/test-windows.sh runs the tests): real key presses (SendInput),
# slow enough that the keeper places the panel several times meanwhile,
# arrive in another program's window (Notepad) and in the settings window's
# field, whose typed value Save To Registry then stores. The keeper places
# the panel without ever taking the keyboard.
#
#   keyboard-windows.sh TW-CLI-UI.EXE TW-TEST-WINDOW.EXE
set -euo pipefail
panel=$1 tool=$2
section=TW-CLI-UI-KEYS
title="TARN-WICK - TW-CLI-UI - $section"
settings="TARN-WICK - TW-CLI-UI - SETTINGS"
notepad="Untitled - Notepad"
key="HKCU\\Software\\VB and VBA Program Settings\\TW-CLI-UI\\$section"
work=$(mktemp -d)
label=keyboard-windows
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    kill_started
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# pixels of a control's middle, from its place in twips (15 to the pixel at
# Wine's 96 dots per inch): middle LEFT TOP WIDTH HEIGHT
middle() { echo "$((($1 + $3 / 2) / 15)) $((($2 + $4 / 2) / 15))"; }
# shellcheck disable=SC2046 # the two numbers of middle
click() { wine "$tool" click "$1" $(middle "${@:2}") || fail "no click into \"$1\""; }
topmost() { [[ $(wine "$tool" topmost "$title" | tr -d '\r') == 1 ]]; }
in_front() { [[ $(wine "$tool" foreground - | tr -d '\r') == "$1" ]]; }

cp "$panel" "$work/$section.exe"
wine reg delete "$key" /f >/dev/null 2>&1 || true
wine reg add "$key" /v AlwaysOnTopTimer_TICKBOX /t REG_SZ /d 1 /f >/dev/null
# The panel low on the screen (in twips), clear of where Notepad opens: a
# click into Notepad must not land on the panel above it.
wine reg add "$key" /v MainLeft /t REG_SZ /d 9000 /f >/dev/null
wine reg add "$key" /v MainTop /t REG_SZ /d 9000 /f >/dev/null
wine "$work/$section.exe" >"$work/panel.log" 2>&1 &
pids+=("$!")
panel_pid=$!
wine "$tool" wait "$title" || fail "no window titled \"$title\""

# Another program in front; the keeper puts the panel above it each second.
wine notepad >/dev/null 2>&1 &
pids+=("$!")
notepad_pid=$!
wine "$tool" wait "$notepad" || fail "no Notepad window"
wine "$tool" click "$notepad" 200 100 || fail "no click into Notepad"
until_true 50 in_front "$notepad" || fail "Notepad did not come to the front"
typed=intothenotepad2026
wine "$tool" type "$typed"
until_true 50 topmost || fail "the keeper did not put the panel on top while Notepad was in front"
got=$(wine "$tool" text "$notepad" | tr -d '\r')
[[ $got == "$typed" ]] ||
    fail "Notepad got \"$got\" of \"$typed\"; in front: $(wine "$tool" foreground - | tr -d '\r')"
# Notepad would ask whether to save the typed text.
kill -9 "$notepad_pid"
finish "$notepad_pid" any

# The settings window, opened by its button, and its folder field.
click "$title" 240 2640 855 495
wine "$tool" wait "$settings" || fail "no settings window"
click "$settings" 120 1200 5775 375
until_true 50 in_front "$settings" || fail "the settings window is not in front"
folder=ctypedfolder42
wine "$tool" type "$folder"
click "$settings" 6120 7080 1455 615 # Save To Registry
stored=$(wine reg query "$key" /v TW_CLI_UI_LOCATION_TEXTBOX 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p')
[[ $stored == "$folder" ]] || fail "the settings window's field got \"$stored\" of \"$folder\""
click "$settings" 10680 7080 1095 615 # Close
wine "$tool" close "$title" || fail "the panel's window is gone"
finish "$panel_pid" 0

if ((failures > 0)); then
    cat "$work/panel.log" >&2
    echo "0 passed, 1 failed"
    exit 1
fi
echo "keyboard-windows: typed text arrived in Notepad and in the settings window with the keeper on"
echo "1 passed, 0 failed"
