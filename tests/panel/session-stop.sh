#!/usr/bin/env bash
# The node's stop before a shut down, with the real panel and the demo node
# in a private home, against a stand-in for systemd-logind (tw-test-logind)
# on a private system bus: a dbus-daemon of the test's own
# (tests/support/system-bus.sh), whose policy is a system bus's (only the
# test's user may own org.freedesktop.login1, the way logind's own policy
# lets only root).
#
#   session-stop.sh PANEL TW-TEST-LOGIND CASE       (under run-under-xvfb.sh)
#
#   on       "Stop the node when I log off or shut down" on: the panel takes
#            the delay inhibitor with exactly logind's arguments, the
#            diagnostics say InhibitDelayMaxSec once; PrepareForSleep(true)
#            leaves the node running; PrepareForShutdown(true) runs the stop
#            batch file, the demo daemon and wallet exit, only then is the
#            inhibitor let go, and the panel closes with its position stored.
#   off      a store without the option (an earlier version's): no inhibitor
#            in the panel's whole life, and the shut down leaves the node and
#            the panel running.
#   no-logind    the option on, a system bus without logind, and no system
#            bus at all: one diagnostics line each, the panel queries the node
#            and closes as ever.
#
# The small checks below are run through until_true, which ShellCheck does
# not follow.
# shellcheck disable=SC2317
set -euo pipefail

panel=$1 logind=$2 case=$3
if [[ -n ${TW_XVFB_MISSING:-} ]]; then
    echo "session-stop: $case: skipped, $TW_XVFB_MISSING"
    exit 77
fi
command -v dbus-daemon >/dev/null || {
    echo "session-stop: $case: skipped, dbus-daemon is not installed"
    exit 77
}
bin=$(cd "$(dirname "$panel")" && pwd)
support=$(cd "$(dirname "$0")/../support" && pwd)
name=TW-CLI-UI-STOP
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-stop.XXXXXX")
label="session-stop: $case"
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    kill_started
    rm -rf "$work"
}
trap cleanup EXIT
passed() {
    ((failures > 0)) || echo "session-stop: $*"
}
runs() { kill -0 "$1" 2>/dev/null; }

mkdir -p "$work/home" "$work/tmp" "$work/bin" "$work/config" "$work/state" "$work/node"
ln -s "$panel" "$work/bin/$name"
export HOME=$work/home TMPDIR=$work/tmp XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
unset DBUS_SESSION_BUS_ADDRESS
ini=$work/config/TW-CLI-UI/TW-CLI-UI.ini
log=$work/state/TW-CLI-UI/$name.log
node=$work/node
conf=$node/twdemo.conf
: >"$conf"
cli=("$bin/twdemo-cli" "-conf=$conf")

# The system bus: tests/support/system-bus.sh's, its socket in the work
# folder.
system_bus() {
    local said
    said=$("$support/system-bus.sh" --address "$work") || fail "the system bus did not come up"
    DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 1p <<<"$said")
    pids+=("$(sed -n 2p <<<"$said")")
    export DBUS_SYSTEM_BUS_ADDRESS
}

# The stand-in, as a co-process: says on $from_logind, takes cues on
# $to_logind.
stand_in() {
    coproc LOGIND { "$logind" --delay-usec 5000000; }
    pids+=("$LOGIND_PID")
    exec {from_logind}<&"${LOGIND[0]}" {to_logind}>&"${LOGIND[1]}"
    IFS= read -r -t 30 line <&"$from_logind" || true
    [[ ${line:-} == ready ]] || fail "the stand-in for logind said \"${line:-nothing}\""
}
# hear PATTERN: the stand-in's next line, within 60 s; it must match.
hear() {
    heard=
    IFS= read -r -t 60 heard <&"$from_logind" || true
    [[ $heard == "$1" ]] || fail "the stand-in said \"$heard\", not \"$1\""
}

# The demo node, and the configuration as the demo's configurer makes it:
# the batch files in the node's folder, the wallet and the daemon named.
# Its programs under names of this run's own: the panel waits for every
# process of the names it is given, and other tests run demo nodes too.
demo_node() {
    daemon_name=twdaemon-$$ wallet_name=twwallet-$$
    cp "$bin/twdemo-daemon" "$work/bin/$daemon_name"
    cp "$bin/twdemo-wallet" "$work/bin/$wallet_name"
    "$work/bin/$daemon_name" "-conf=$conf" >>"$work/daemon.out" 2>&1 &
    daemon=$!
    pids+=("$daemon")
    "$work/bin/$wallet_name" "-conf=$conf" >>"$work/wallet.out" 2>&1 &
    wallet=$!
    pids+=("$wallet")
    until_true 100 "${cli[@]}" getblockcount >/dev/null 2>&1 || fail "the demo node did not come up"
    "$bin/twdemo-configure" "$name" "$node" "$bin" >>"$work/configure.out" 2>&1 ||
        fail "twdemo-configure: $(cat "$work/configure.out")"
    sed -i -e "s/^QT_EXE_TEXTBOX=.*/QT_EXE_TEXTBOX=$wallet_name/" \
        -e "s/^DAEMON_EXE_TEXTBOX=.*/DAEMON_EXE_TEXTBOX=$daemon_name/" "$ini"
    grep -q "^DAEMON_EXE_TEXTBOX=$daemon_name\$" "$ini" || fail "no daemon named in the store"
    printf 'AlwaysOnTopTimer_TICKBOX=0\n' >>"$ini"
}

start_panel() {
    "$work/bin/$name" >>"$work/panel.out" 2>&1 &
    panel_pid=$!
    pids+=("$panel_pid")
}
position_stored() {
    grep -q '^MainLeft=-\?[0-9]' "$ini" || fail "no window position in the store"
}
logged() { grep -qF -- "$1" "$log" 2>/dev/null; }
window_shown() {
    xwininfo -root -tree 2>/dev/null | grep -qF "\"TARN-WICK - TW-CLI-UI - $name\":"
}
count_logged() { grep -cF -- "$1" "$log" 2>/dev/null || true; }

case $case in
on)
    system_bus
    stand_in
    demo_node
    echo "watch $daemon" >&"$to_logind"
    printf 'STOP_NODE_AT_SESSION_END_TICKBOX=1\n' >>"$ini"
    start_panel
    hear "inhibit 1 shutdown|TW-CLI-UI|Stopping the node|delay"
    until_true 300 logged "systemd-logind waits at most 5 s for the node to stop" ||
        fail "the diagnostics do not say logind's delay: $(cat "$log" 2>/dev/null)"
    # A suspend is no shut down: the node and the panel go on.
    echo sleep >&"$to_logind"
    sleep 2
    if ! runs "$daemon" || ! runs "$panel_pid" || logged "stopping the node first"; then
        fail "PrepareForSleep(true) stopped the node or the panel"
    fi

    echo shutdown >&"$to_logind"
    # Released only once the daemon has gone (the stand-in looks at it then).
    hear "released 1 gone"
    finish "$panel_pid" 0
    ended "$wallet" || fail "the wallet still runs"
    position_stored
    [[ $(count_logged "systemd-logind waits at most") == 1 ]] || fail "logind's delay said more than once"
    logged "the machine shuts down: stopping the node first" || fail "the log does not say the stop"
    logged "the wallet and the daemon ($wallet_name, $daemon_name) run no more" ||
        fail "the log does not say the node stopped: $(cat "$log")"
    logged "the machine shuts down: the panel closes" || fail "the log does not say the close"
    grep -q stopping "$work/daemon.out" ||
        fail "the daemon did not stop by its stop request: $(cat "$work/daemon.out")"
    passed "inhibitor taken with logind's arguments, the node stopped at PrepareForShutdown," \
        "the inhibitor let go after the daemon, the panel closed with its position stored"
    ;;

off)
    system_bus
    stand_in
    demo_node
    start_panel
    until_true 300 window_shown || fail "no window of the panel"
    sleep 1
    echo shutdown >&"$to_logind"
    sleep 2
    if ! runs "$daemon" || ! runs "$wallet"; then
        fail "the node stopped with the option off"
    fi
    runs "$panel_pid" || fail "the panel ended at the shut down with the option off"
    kill -TERM "$panel_pid"
    finish "$panel_pid" 0
    position_stored
    echo quit >&"$to_logind"
    heard=$(timeout 30 cat <&"$from_logind" || true)
    [[ $heard != *inhibit* ]] || fail "an inhibitor was taken with the option off: $heard"
    ! grep -q '^STOP_NODE_AT_SESSION_END_TICKBOX' "$ini" || fail "the option was written unasked"
    passed "option off: no inhibitor, the node and the panel ran on through the shut down"
    ;;

no-logind)
    demo_node
    printf 'STOP_NODE_AT_SESSION_END_TICKBOX=1\n' >>"$ini"
    # rows: what the system bus is; the diagnostics line it gives.
    system_bus
    rows=("$DBUS_SYSTEM_BUS_ADDRESS|systemd-logind does not hold the machine's shut down back"
        "unix:path=$work/no-bus|no system bus")
    for row in "${rows[@]}"; do
        IFS='|' read -r address said <<<"$row"
        rm -f "$log" "$work/state/TW-CLI-UI/$name.history.csv"
        sed -i '/^Main\(Left\|Top\)=/d' "$ini"
        export DBUS_SYSTEM_BUS_ADDRESS=$address
        start_panel
        until_true 300 logged "$said" || fail "$address: no \"$said\" in the diagnostics"
        # It goes on: the demo's Auto Start queries the node.
        until_true 600 grep -q ',blocks,8' "$work/state/TW-CLI-UI/$name.history.csv" ||
            fail "$address: no block count in the history"
        kill -TERM "$panel_pid"
        finish "$panel_pid" 0
        position_stored
        [[ $(count_logged "$said") == 1 ]] || fail "$address: \"$said\" said more than once"
        ! grep -q FAILED "$log" || fail "$address: a failure in the diagnostics: $(grep FAILED "$log")"
        runs "$daemon" || fail "the node stopped"
        passed "$said: said once, the panel queried the node and closed as ever"
    done
    ;;

*)
    echo "session-stop: unknown case $case" >&2
    exit 2
    ;;
esac

if ((failures > 0)); then
    echo "session-stop: $case: output of the panel:" >&2
    cat "$work/panel.out" >&2 2>/dev/null || true
    echo "session-stop: $case: its diagnostics:" >&2
    cat "$log" >&2 2>/dev/null || true
fi
exit $((failures > 0))
