#!/usr/bin/env bash
# The panel's start and end as real processes, each run in a private home
# (HOME, XDG folders, TMPDIR: the user's store and sockets are never met).
#
#   lifetime.sh PANEL command-line
#       --help, --version and wrong arguments with no display at all.
#   lifetime.sh PANEL second-start        (under run-under-xvfb.sh)
#       A second start of a configuration brings the running panel's
#       minimized window up and ends with status 0, showing no window and
#       touching neither the store nor the state folder; a panel killed with
#       SIGKILL leaves its socket behind, which keeps no start from going on;
#       of six starts at the same moment, one panel results.
#   lifetime.sh PANEL signals             (under run-under-xvfb.sh)
#       SIGTERM, SIGINT, SIGHUP, and a second signal while the panel closes:
#       each ends the panel with status 0 after its close handler wrote the
#       window's position to the store (the keys appear in an empty store).
#   lifetime.sh PANEL x-connection-lost   (under run-under-xvfb.sh)
#       The X server drops the panel's connection (xkill): Qt ends the
#       process, and the position is in the store all the same.
#   lifetime.sh PANEL session-end SESSION-MANAGER  (under run-under-xvfb.sh)
#       The session manager (a real XSMP one) ends the session: the panel
#       closes at its save request and the position is in the store.
#
# The small checks below are run through until_true, which ShellCheck does
# not follow.
# shellcheck disable=SC2317
set -euo pipefail

panel=$1 case=$2
if [[ $case != command-line && -n ${TW_XVFB_MISSING:-} ]]; then
    echo "lifetime: $case: skipped, $TW_XVFB_MISSING"
    exit 77
fi
name=TW-CLI-UI-LIFE
title="TARN-WICK - TW-CLI-UI - $name"
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-life.XXXXXX")
label="lifetime: $case"
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    kill_started
    rm -rf "$work"
}
trap cleanup EXIT
# passed TEXT: says what was seen, when nothing failed so far.
passed() {
    ((failures > 0)) || echo "lifetime: $*"
}

mkdir -p "$work/home" "$work/tmp" "$work/bin"
ln -s "$panel" "$work/bin/$name"
export HOME=$work/home TMPDIR=$work/tmp
# No session bus of the user's: the tray and notifications stay out of it.
unset DBUS_SESSION_BUS_ADDRESS
ini=$work/config/TW-CLI-UI/TW-CLI-UI.ini
log=$work/state/TW-CLI-UI/$name.log

# fresh: an empty home with a store that keeps the panel from staying on top.
fresh() {
    rm -rf "$work/config" "$work/state" "$work/tmp"
    mkdir -p "$work/config/TW-CLI-UI" "$work/state" "$work/tmp"
    printf '[%s]\nAlwaysOnTopTimer_TICKBOX=0\n' "$name" >"$ini"
    export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
}

# start: a panel in the background; its pid in $started.
start() {
    "$work/bin/$name" >>"$work/panel.out" 2>&1 &
    started=$!
    pids+=("$started")
}

windows() { xwininfo -root -tree 2>/dev/null | grep -F "\"$title\":" | awk '{ print $1 }' || true; }
one_window() { [[ $(windows | wc -l) == 1 ]]; }
map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: //p'; }
viewable() { [[ $(map_state "$1") == IsViewable ]]; }
unmapped() { [[ $(map_state "$1") == IsUnMapped ]]; }
windows_gone() { [[ -z $(windows) ]]; }
# five_ended: five of the panels in $many have ended.
five_ended() {
    local count=0 pid
    for pid in "${many[@]}"; do
        ! ended "$pid" || count=$((count + 1))
    done
    ((count >= 5))
}

# window_of PID: waits for the panel's window; prints its id.
window_of() {
    if ! until_true 300 one_window; then
        fail "no window titled \"$title\" (or more than one):$(windows | tr '\n' ' ')"
        return 1
    fi
    kill -0 "$1" 2>/dev/null || fail "the panel $1 ended"
    windows
}

# position_stored: the close handler wrote the window's position.
position_stored() {
    if ! grep -q '^MainLeft=-\?[0-9]' "$ini" || ! grep -q '^MainTop=-\?[0-9]' "$ini"; then
        fail "no window position in the store: $(tr '\n' ' ' <"$ini")"
    fi
}

# snapshot: what a second start must leave as it is.
snapshot() { find "$work/config" "$work/state" -type f -exec sha256sum {} + | sort; }

case $case in
command-line)
    # args WANT-STATUS STREAM PATTERN ARGS...: one run with no display.
    args() {
        local want=$1 stream=$2 pattern=$3 status=0
        shift 3
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
            timeout 60 "$work/bin/$name" "$@" >"$work/out" 2>"$work/err" || status=$?
        if [[ $status != "$want" ]] || ! grep -Eq "$pattern" "$work/$stream"; then
            fail "$*: status $status (want $want), $stream: $(head -c 300 "$work/$stream")" \
                "(want /$pattern/), stderr: $(head -c 300 "$work/err")"
        else
            echo "lifetime: $*: $status, $(head -n 1 "$work/$stream")"
        fi
    }
    fresh
    args 0 out "^Usage: $name \[QT-OPTION\]" --help
    args 0 out "^Usage: $name " -h
    args 0 out "^Usage: $name " -style Fusion --help
    args 0 out '^TW-CLI-UI [0-9]+\.[0-9]+$' --version
    args 2 err "^$name: unknown option --verbose$" --verbose
    args 2 err "^$name: unknown option -x$" -reverse -x
    args 2 err "^$name: unexpected argument \"wallet.dat\"$" wallet.dat
    args 2 err "^$name: option -platform needs a value$" -platform
    args 2 err "Try \"$name --help\"" --verbose
    # None of them opened the store or the log.
    [[ $(cat "$ini") == "[$name]"$'\n'"AlwaysOnTopTimer_TICKBOX=0" ]] || fail "the store changed"
    [[ ! -e $log ]] || fail "a run wrote the diagnostics log"
    ;;

second-start)
    fresh
    start
    first=$started
    window=$(window_of "$first")
    xdotool windowminimize "$window"
    until_true 300 unmapped "$window" || fail "the window did not minimize"
    before=$(snapshot)
    start
    second=$started
    finish "$second" 0
    until_true 300 viewable "$window" || fail "the running panel's window did not come up"
    one_window || fail "windows now: $(windows | tr '\n' ' ')"
    [[ $(snapshot) == "$before" ]] || fail "the second start changed the store or the state folder"
    passed "a second start brought window $window up and ended with status 0"

    # Killed: its socket stays behind, and takes no start away.
    kill -9 "$first"
    wait "$first" 2>/dev/null || true
    forget "$first"
    compgen -G "$TMPDIR/tw-cli-ui-*" >/dev/null || fail "no socket left behind to take over"
    until_true 300 windows_gone || fail "the killed panel's window stayed"
    start
    third=$started
    window_of "$third" >/dev/null && passed "a start after SIGKILL showed its window"
    kill -TERM "$third"
    finish "$third" 0

    # Several at the same moment: one panel; every other start ends with
    # status 0.
    many=()
    for _ in 1 2 3 4 5 6; do
        start
        many+=("$started")
    done
    until_true 600 five_ended || fail "of six starts at once, fewer than five ended"
    stays=
    for pid in "${many[@]}"; do
        if ended "$pid"; then
            finish "$pid" 0
        elif [[ -z $stays ]]; then
            stays=$pid
        fi
    done
    if [[ -n $stays ]]; then
        window_of "$stays" >/dev/null
        one_window || fail "six starts at once left windows $(windows | tr '\n' ' ')"
        kill -TERM "$stays"
        finish "$stays" 0
        passed "of six starts at once one panel stayed"
    else
        fail "of six starts at once no panel stayed"
    fi
    ;;

signals)
    # Row: the signals sent, one right after the other; the signals the
    # panel was started with ignored (as nohup starts it); which the log
    # names, once (signals pending together come in the system's order).
    rows=("TERM||TERM" "INT||INT" "HUP||HUP" "TERM TERM||TERM" "TERM INT HUP||TERM INT HUP"
        "HUP TERM|HUP|TERM")
    for row in "${rows[@]}"; do
        IFS='|' read -r sent ignored logged <<<"$row"
        fresh
        before=$failures
        # A shell starts a background job with SIGINT ignored: started here
        # as from a terminal, with what the row ignores ignored. Qt's own
        # options are taken as they are.
        env --default-signal=INT,HUP ${ignored:+--ignore-signal=$ignored} \
            "$work/bin/$name" -style Fusion -reverse -session tw_life >>"$work/panel.out" 2>&1 &
        pid=$!
        pids+=("$pid")
        window_of "$pid" >/dev/null || continue
        for signal in $sent; do
            kill -s "$signal" "$pid"
        done
        finish "$pid" 0
        position_stored
        closes=$(grep -o 'SIG[A-Z]*: the panel closes' "$log" 2>/dev/null || true)
        [[ $(wc -l <<<"$closes") == 1 && " SIG${logged// / SIG} " == *" ${closes%%:*} "* ]] ||
            fail "$row: the log says \"$closes\", not once one of SIG${logged// /, SIG}"
        ((failures > before)) ||
            echo "lifetime: SIG${sent// / + SIG}${ignored:+ (SIG$ignored ignored)}: status 0, the position stored"
    done
    ;;

x-connection-lost)
    fresh
    # Qt ends the process with exit() from inside its event loop, the whole
    # application still built: what is allocated then is no leak.
    ASAN_OPTIONS=${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}detect_leaks=0 start
    pid=$started
    window=$(window_of "$pid")
    xkill -id "$window" >/dev/null
    # Qt ends the program with status 1 when its X connection breaks.
    finish "$pid" 1
    position_stored
    passed "the X connection dropped: the position stored"
    ;;

session-end)
    manager=$3
    fresh
    coproc SM { "$manager"; }
    # Its ends, kept past its exit (bash drops SM then).
    exec {from_sm}<&"${SM[0]}" {to_sm}>&"${SM[1]}"
    IFS= read -r -t 30 address <&"$from_sm" || fail "the session manager said nothing"
    export "${address?}"
    [[ -n ${SESSION_MANAGER:-} ]] || fail "no session manager address: $address"
    start
    pid=$started
    unset SESSION_MANAGER
    IFS= read -r -t 60 line <&"$from_sm" || true
    [[ ${line:-} == registered ]] || fail "the panel did not register with the session manager"
    window_of "$pid" >/dev/null
    echo end >&"$to_sm"
    IFS= read -r -t 60 saved <&"$from_sm" || true
    [[ ${saved:-} == "saved 1" ]] || fail "the panel's answer to the save request: ${saved:-none}"
    finish "$pid" 0
    IFS= read -r -t 60 gone <&"$from_sm" || true
    [[ ${gone:-} == gone ]] || fail "the session manager did not see the panel go"
    position_stored
    grep -q "the desktop session ends: the panel closes" "$log" ||
        fail "the log does not say the session ended: $(cat "$log" 2>/dev/null)"
    passed "the session ended: the panel saved, closed and stored its position"
    ;;

*)
    echo "lifetime: unknown case $case" >&2
    exit 2
    ;;
esac

if ((failures > 0)); then
    echo "lifetime: $case: output of the panels:" >&2
    cat "$work/panel.out" >&2 2>/dev/null || true
fi
exit $((failures > 0))
