#!/usr/bin/env bash
# keeper-typing.sh PANEL TYPING-WINDOW      (under run-under-xvfb.sh)
#
# With Always On Top on, the keeper never takes the keyboard. Real key
# events (xdotool types through the XTEST extension, as a keyboard does):
#   1. into two fields of the settings window, opened by a click on the
#      main window's Settings button, another program's window brought to
#      the front between the two (so that the keeper acts there), then a
#      click on Save To Registry: the store holds exactly what was typed;
#   2. into another program's window (TYPING-WINDOW, which prints its text
#      at Return), in chunks, the panel's _NET_WM_STATE_ABOVE taken away
#      before each chunk and put back by the keeper's tick: every character
#      arrives there, and that window stays the active one throughout.
# The panel runs in a private home (HOME, XDG folders, TMPDIR), without a
# node. Exits 77 (skipped) without Xvfb and openbox, xdotool or wmctrl.
#
# The small checks below are run through until_true, which ShellCheck does
# not follow.
# shellcheck disable=SC2317
set -euo pipefail

panel=$(realpath "$1") typer=$(realpath "$2")
skip() {
    echo "keeper-typing: skipped, $*"
    exit 77
}
[[ -z ${TW_XVFB_MISSING:-} ]] || skip "$TW_XVFB_MISSING"
for tool in xdotool wmctrl xprop; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

name=TW-CLI-UI-KEYS
title="TARN-WICK - TW-CLI-UI - $name"
settings_title="TARN-WICK - TW-CLI-UI - SETTINGS"
other_title="TW typing target"
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-keys.XXXXXX")
label=keeper-typing
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    kill_started
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/tmp" "$work/config/TW-CLI-UI" "$work/state"
ln -s "$panel" "$work/$name"
export HOME=$work/home TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
unset DBUS_SESSION_BUS_ADDRESS
ini=$work/config/TW-CLI-UI/TW-CLI-UI.ini
# Always On Top on: the keeper runs from the start.
printf '[%s]\nAlwaysOnTopTimer_TICKBOX=1\n' "$name" >"$ini"

# window TITLE: the id of the one shown window of that title, once it shows.
found=
find_window() {
    found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null) || return 1
    found=${found%%$'\n'*}
    [[ -n $found ]]
}
window() {
    if ! until_true 300 find_window "$1"; then
        fail "no window \"$1\"; the panel said: $(cat "$work/panel.out")"
        return 1
    fi
    echo "$found"
}
above() { xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_ABOVE; }
active() { [[ $(xdotool getactivewindow 2>/dev/null) == "$1" ]]; }
# bring ID: makes the window the active one, as a pager or a click does.
bring() {
    xdotool windowactivate --sync "$1" 2>/dev/null || true
    until_true 100 active "$1" || fail "window $1 did not become the active one"
}
# keeper_ticks: the panel's window loses _NET_WM_STATE_ABOVE, and gets it
# back only from the keeper's next tick (another program is in front).
drop_above() { wmctrl -i -r "$main" -b remove,above; }
keeper_ticked() { until_true 300 above "$main"; }

"$work/$name" >"$work/panel.out" 2>&1 &
panel_pid=$!
pids+=("$panel_pid")
"$typer" "$other_title" 860 880 >"$work/typed" 2>"$work/typer.err" &
typer_pid=$!
pids+=("$typer_pid")
main=$(window "$title") || exit 1
other=$(window "$other_title") || exit 1

# The keeper is on: with the other program in front, the panel is above.
bring "$other"
keeper_ticked || fail "the keeper did not put the panel above the active window"

# 1. The settings window, opened by its button (at its place in the main
# window, in pixels at 96 dpi).
bring "$main"
xdotool mousemove --window "$main" 44 192 click 1
settings=$(window "$settings_title") || exit 1
# field X Y TEXT: a click into the field, its text selected and typed over.
field() {
    bring "$settings"
    xdotool mousemove --window "$settings" "$1" "$2" click 1
    xdotool key ctrl+a
    xdotool type --delay 120 "$3"
    active "$settings" || fail "typing into the settings window: the active window is $(xdotool getactivewindow)"
}
folder="/srv/Keys-Folder_1.2/node"
cli="bitcoin-cli+Typed,Line=3"
field 200 92 "$folder" # TW-CLI-UI FOLDER
# Another program in front meanwhile: the keeper acts.
bring "$other"
drop_above
keeper_ticked || fail "the keeper did not tick with the other program in front"
field 548 148 "$cli" # CLI Filename
xdotool mousemove --window "$settings" 456 492 click 1 # Save To Registry
stored() { grep -qFx "TW_CLI_UI_LOCATION_TEXTBOX=$folder" "$ini" && grep -qFx "CLI_NAME_TEXTBOX=$cli" "$ini"; }
if until_true 100 stored; then
    echo "keeper-typing: the settings window got \"$folder\" and \"$cli\", stored by Save To Registry"
else
    fail "the store does not hold what was typed: $(grep -E '^(TW_CLI_UI_LOCATION|CLI_NAME)_TEXTBOX' "$ini" | tr '\n' ' ')"
fi

# 2. The other program's window, while the keeper keeps the panel above it.
bring "$other"
keeper_ticked || fail "the keeper did not put the panel above the active window"
chunks=("Alpha-1.bravo_2 " "charlie/3 DELTA " "echo+4,foxtrot " "golf=5;hotel 6")
ticks=0
for chunk in "${chunks[@]}"; do
    drop_above
    xdotool type --delay 150 "$chunk"
    active "$other" || fail "while typing \"$chunk\" the active window became $(xdotool getactivewindow)"
    keeper_ticked && ticks=$((ticks + 1))
done
((ticks == ${#chunks[@]})) || fail "the keeper put the panel back above after $ticks of ${#chunks[@]} chunks"
xdotool key Return
if until_true 100 ended "$typer_pid"; then
    wait "$typer_pid" || fail "the other program ended with status $?"
else
    fail "the other program did not end at Return"
    kill -9 "$typer_pid"
fi
want=$(printf '%s' "${chunks[@]}")
got=$(cat "$work/typed")
if [[ $got == "$want" ]]; then
    echo "keeper-typing: the other program got \"$got\" while the keeper ticked ($ticks times seen)"
else
    fail "the other program got \"$got\", not \"$want\""
fi

kill -TERM "$panel_pid"
if until_true 300 ended "$panel_pid"; then
    wait "$panel_pid" || fail "the panel ended with status $?"
else
    fail "the panel did not end at SIGTERM"
fi
if ((failures > 0)); then
    echo "keeper-typing: the panel said:" >&2
    cat "$work/panel.out" >&2
    cat "$work/typer.err" >&2
fi
exit $((failures > 0))
