#!/usr/bin/env bash
# xwayland.sh PANEL TYPING-WINDOW
#
# Always On Top on a Wayland session, against GNOME's compositor: mutter
# runs headless (`mutter --wayland --headless --virtual-monitor 1280x1024`)
# on a private runtime folder (mode 0700) and a private session bus, and
# starts XWayland; this script runs again as mutter's child, with the
# WAYLAND_DISPLAY and DISPLAY mutter gives it, and there:
#   - the panel, started with both set and no QT_QPA_PLATFORM, is an X11
#     client (its window is on the XWayland display), and while another
#     X11 window (TYPING-WINDOW) is the active one the panel's window has
#     _NET_WM_STATE_ABOVE and stands above it; taken away, the keeper puts
#     the state back;
#   - with QT_QPA_PLATFORM=wayland, and with -platform wayland, the user's
#     choice is kept: no X11 window of the panel, and the diagnostics carry
#     the stay-on-top hint's line once.
# Each panel runs in a private home (HOME, XDG folders, TMPDIR), with no
# node. Exits 77 (skipped) when mutter or XWayland is not installed; a
# mutter that is installed but does not start fails the test.
#
# The small checks below are run through until_true, which ShellCheck does
# not follow.
# shellcheck disable=SC2317
set -euo pipefail

name=TW-CLI-UI-WAYLAND
title="TARN-WICK - TW-CLI-UI - $name"
other_title="TW other X11 window"

label=xwayland
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"

if [[ ${1:-} != --inside ]]; then
    panel=$(realpath "$1") typer=$(realpath "$2")
    for tool in mutter Xwayland; do
        if ! command -v "$tool" >/dev/null; then
            echo "xwayland: skipped, $tool is not installed"
            exit 77
        fi
    done
    for tool in dbus-run-session xdotool xprop xwininfo wmctrl; do
        command -v "$tool" >/dev/null || {
            echo "xwayland: $tool is not installed" >&2
            exit 1
        }
    done
    work=$(mktemp -d "${TMPDIR:-/tmp}/tw-wayland.XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # The compositor's own runtime folder, home and settings: nothing of
    # the user's session is met or changed.
    mkdir -m 0700 "$work/runtime"
    mkdir -p "$work/mutter-home"
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS \
        XDG_RUNTIME_DIR="$work/runtime" HOME="$work/mutter-home" GSETTINGS_BACKEND=memory \
        XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME \
        timeout 240 dbus-run-session -- \
        mutter --wayland --headless --virtual-monitor 1280x1024 --sm-disable -- \
        "$0" --inside "$panel" "$typer" "$work" >"$work/mutter.log" 2>&1 || status=$?
    # What the rows found; mutter's own exit status says nothing about them.
    grep '^xwayland: ' "$work/mutter.log" || true
    if [[ ! -f $work/result ]]; then
        echo "xwayland: mutter ended with status $status before the rows ran; it said:" >&2
        cat "$work/mutter.log" >&2
        exit 1
    fi
    result=$(cat "$work/result")
    if [[ $result != 0 ]]; then
        echo "xwayland: mutter and the programs said:" >&2
        grep -v '^xwayland: ' "$work/mutter.log" >&2 || true
    fi
    exit "$result"
fi

# Inside: mutter's child.
panel=$2 typer=$3 work=$4
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    kill_started
    echo $((failures > 0)) >"$work/result"
}
trap cleanup EXIT

if [[ -z ${WAYLAND_DISPLAY:-} || -z ${DISPLAY:-} ]]; then
    fail "mutter gave WAYLAND_DISPLAY=\"${WAYLAND_DISPLAY:-}\" and DISPLAY=\"${DISPLAY:-}\""
    exit 1
fi
# mutter may start XWayland at the first X11 connection; its window manager
# is up once it names its check window on the root.
answers() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
if ! until_true 600 answers; then
    fail "the XWayland display $DISPLAY does not answer, or has no window manager"
    exit 1
fi
echo "xwayland: mutter: WAYLAND_DISPLAY=$WAYLAND_DISPLAY, XWayland on DISPLAY=$DISPLAY"

mkdir -p "$work/bin"
ln -s "$panel" "$work/bin/$name"
log=$work/state/TW-CLI-UI/$name.log
hint_line="stay-on-top hint only: the wayland platform"
ini=$work/config/TW-CLI-UI/TW-CLI-UI.ini

# fresh: an empty home whose store has Always On Top on.
fresh() {
    rm -rf "${work:?}/home" "$work/config" "$work/state" "$work/tmp"
    mkdir -p "$work/home" "$work/config/TW-CLI-UI" "$work/state" "$work/tmp"
    printf '[%s]\nAlwaysOnTopTimer_TICKBOX=1\nMainLeft=7500\nMainTop=4500\n' "$name" >"$ini"
}
# start_panel [ENV-ASSIGNMENT...] -- [ARGUMENT...]: the panel in its home,
# with the session's WAYLAND_DISPLAY and DISPLAY and no QT_QPA_PLATFORM of
# the caller's; its pid in $started.
start_panel() {
    local assignments=()
    while [[ $1 != -- ]]; do
        assignments+=("$1")
        shift
    done
    shift
    env -u QT_QPA_PLATFORM -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" TMPDIR="$work/tmp" \
        XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" "${assignments[@]}" \
        "$work/bin/$name" "$@" >>"$work/panel.out" 2>&1 &
    started=$!
    pids+=("$started")
}
alive() { kill -0 "$1" 2>/dev/null; }
# stop_panel PID: SIGTERM, and the end waited for (bounded).
stop_panel() {
    kill -TERM "$1" 2>/dev/null || true
    until_true 300 ended "$1" || fail "the panel did not end at SIGTERM"
}
found=
x11_window() {
    found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null) || return 1
    found=${found%%$'\n'*}
    [[ -n $found ]]
}
no_x11_window() {
    local tree
    tree=$(xwininfo -root -tree 2>/dev/null) || return 1
    ! grep -qF "\"$title\"" <<<"$tree"
}
above() { xprop -id "$1" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_ABOVE; }
active() { [[ $(xdotool getactivewindow 2>/dev/null) == "$1" ]]; }
# stacked_above UPPER LOWER: UPPER comes after LOWER in the window manager's
# stacking order (bottom to top).
stacked_above() {
    local order upper lower
    order=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,/ /g')
    upper=$(printf '0x%x' "$1") lower=$(printf '0x%x' "$2")
    [[ " $order " == *" $lower "*" $upper "* ]]
}
hint_lines() {
    if [[ -f $log ]]; then
        grep -c -F "$hint_line" "$log" || true
    else
        echo 0
    fi
}
hint_logged() { [[ $(hint_lines) -ge 1 ]]; }

# Row 1: nothing chosen, XWayland at hand: an X11 client that stays above.
fresh
QT_QPA_PLATFORM=xcb "$typer" "$other_title" 500 400 >"$work/typer.out" 2>&1 &
pids+=("$!")
start_panel XDG_SESSION_TYPE=wayland --
pid=$started
if ! until_true 300 x11_window "$title"; then
    fail "nothing chosen: no X11 window of the panel on $DISPLAY (still running: $(alive "$pid" && echo yes || echo no))"
else
    main=$found
    if ! until_true 300 x11_window "$other_title"; then
        fail "no window of the other program"
    else
        other=$found
        xdotool windowactivate --sync "$other" 2>/dev/null || true
        until_true 100 active "$other" || fail "the other window did not become the active one"
        if until_true 300 above "$main"; then
            active "$other" || fail "the keeper took the active window: $(xdotool getactivewindow)"
            stacked_above "$main" "$other" ||
                fail "the panel's window is not above the active one: $(xprop -root _NET_CLIENT_LIST_STACKING)"
            # Taken away, a later tick of the keeper puts it back.
            wmctrl -i -r "$main" -b remove,above
            until_true 300 above "$main" || fail "the keeper did not put _NET_WM_STATE_ABOVE back"
            active "$other" || fail "the keeper took the active window: $(xdotool getactivewindow)"
            ((failures > 0)) ||
                echo "xwayland: nothing chosen: X11 window $main, above the active X11 window $other (_NET_WM_STATE_ABOVE, stacking order), put back by the keeper"
        else
            fail "the panel's window has no _NET_WM_STATE_ABOVE while another window is active: $(xprop -id "$main" _NET_WM_STATE)"
        fi
    fi
    [[ $(hint_lines) == 0 ]] || fail "nothing chosen: the diagnostics say \"$(grep -F "$hint_line" "$log")\""
fi
stop_panel "$pid"

# Rows 2 and 3: the user's choice of Wayland is kept; the keeper falls back
# to the hint and says so once.
rows=("QT_QPA_PLATFORM=wayland|" "|-platform wayland")
for row in "${rows[@]}"; do
    IFS='|' read -r assignment arguments <<<"$row"
    fresh
    # Qt 6.4's Wayland platform keeps the proxies of the compositor's
    # globals to the end (libwayland-client), and Mesa's EGL, which it
    # loads for the window decorations, an allocation of a driver unloaded
    # by then: no leak of the program's own, and no library to name in the
    # suppressions for the second. The X11 row above is leak-checked.
    # shellcheck disable=SC2086 # the arguments are words
    start_panel XDG_SESSION_TYPE=wayland ${assignment} \
        ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=0" -- ${arguments}
    pid=$started
    what="${assignment:-$arguments}"
    if ! until_true 300 hint_logged; then
        fail "$what: the diagnostics have no \"$hint_line\" line: $(cat "$log" 2>/dev/null)"
    else
        # The line names the platform the panel runs on: wayland. Nor is
        # there an X11 window of the panel.
        alive "$pid" || fail "$what: the panel ended"
        no_x11_window || fail "$what: the panel has an X11 window"
        [[ $(hint_lines) == 1 ]] || fail "$what: the line is in the diagnostics $(hint_lines) times"
        ((failures > 0)) ||
            echo "xwayland: $what: kept on Wayland (no X11 window), the diagnostics say \"$(grep -F "$hint_line" "$log" | sed 's/^.*NOTE //')\""
    fi
    stop_panel "$pid"
    # Wayland tells no program where its window is: the close keeps the
    # stored position rather than writing an offset that means nothing.
    if ! grep -qx 'MainLeft=7500' "$ini" || ! grep -qx 'MainTop=4500' "$ini"; then
        fail "$what: the stored position changed: $(grep '^Main' "$ini" | tr '\n' ' ')"
    fi
done

if ((failures > 0)); then
    echo "xwayland: the panels said:"
    cat "$work/panel.out" 2>/dev/null || true
fi
