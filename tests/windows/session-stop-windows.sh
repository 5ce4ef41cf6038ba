#!/usr/bin/env bash
# The node's stop at the session's end, with the real TW-CLI-UI.exe and the
# demo node's .exe programs under Wine (WINEPREFIX set, an X server in
# DISPLAY, as scripts/test-windows.sh runs the tests). wineboot
# --end-session sends WM_QUERYENDSESSION to every window and waits for the
# answers, then WM_ENDSESSION, then ends what is left of the program.
#
#   on    "Stop the node when I log off or shut down" on: the stop batch file
#         runs before the panel answers, the panel waits for the demo daemon
#         and wallet, which are gone before the panel has ended; its log says
#         so, and the panel's position is in the registry.
#   off   no such value (a registry of an earlier version): the panel closes
#         as before and the node keeps running.
#
#   session-stop-windows.sh TW-CLI-UI.EXE TW-TEST-WINDOW.EXE
set -euo pipefail
panel=$1 tool=$2
bin=$(cd "$(dirname "$panel")" && pwd)
section=TW-CLI-UI-SSTOP
title="TARN-WICK - TW-CLI-UI - $section"
key="HKCU\\Software\\VB and VBA Program Settings\\TW-CLI-UI\\$section"
work=$(mktemp -d)
node=$work/node
mkdir -p "$node"
printf '# the session-stop test'"'"'s demo node\n' >"$node/twdemo.conf"
win() { winepath -w "$1" 2>/dev/null; }
cli=(wine "$bin/twdemo-cli.exe" "-conf=$(win "$node/twdemo.conf")")
label=session-stop-windows
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    "${cli[@]}" stop >/dev/null 2>&1 || true
    kill_started
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# order PANEL DAEMON: waits (up to 5 minutes) until the panel has ended and
# prints how the daemon was at the first look that found the panel gone.
order() {
    local tries=15000
    until ended "$1"; do
        tries=$((tries - 1))
        ((tries > 0)) || return 0
        sleep 0.02
    done
    if ended "$2"; then echo "daemon gone"; else echo "daemon running"; fi
}

cp "$panel" "$work/$section.exe"
printf '"%s" -conf=%s stop\r\n' "$(win "$bin/twdemo-cli.exe")" "$(win "$node/twdemo.conf")" \
    >"$work/STOP.BAT"
local_app_data=$(wine cmd.exe /d /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
log=$(winepath -u "$local_app_data\\TW-CLI-UI\\$section.log" 2>/dev/null)
set_value() { wine reg add "$key" /v "$1" /t REG_SZ /d "$2" /f >/dev/null; }

for row in on off; do
    label="session-stop-windows: $row"
    before=$failures
    # The demo node.
    wine "$bin/twdemo-daemon.exe" "-conf=$(win "$node/twdemo.conf")" >"$work/daemon.out" 2>&1 &
    daemon=$!
    pids+=("$daemon")
    wine "$bin/twdemo-wallet.exe" "-conf=$(win "$node/twdemo.conf")" >"$work/wallet.out" 2>&1 &
    wallet=$!
    pids+=("$wallet")
    for _ in $(seq 100); do
        "${cli[@]}" getblockcount >/dev/null 2>&1 && break
        sleep 0.2
    done
    "${cli[@]}" getblockcount >/dev/null 2>&1 || fail "the demo daemon did not come up"

    wine reg delete "$key" /f >/dev/null 2>&1 || true
    set_value AlwaysOnTopTimer_TICKBOX 0
    set_value CLI_NAME_TEXTBOX twdemo-cli.exe
    set_value CLI_STOP_BAT_FULL_LOCATION_TEXTBOX "$(win "$work")\\STOP.BAT"
    set_value QT_EXE_TEXTBOX twdemo-wallet.exe
    set_value DAEMON_EXE_TEXTBOX twdemo-daemon.exe
    [[ $row == off ]] || set_value STOP_NODE_AT_SESSION_END_TICKBOX 1
    rm -f "$log"

    wine "$work/$section.exe" >"$work/panel.out" 2>&1 &
    panel_pid=$!
    pids+=("$panel_pid")
    wine "$tool" wait "$title" || fail "no window titled \"$title\""

    order "$panel_pid" "$daemon" >"$work/order" &
    watcher=$!
    timeout 300 wineboot --end-session || fail "wineboot --end-session failed"
    wait "$watcher" || true
    if [[ $row == on ]]; then
        # The panel answered after the node had gone: the daemon and the
        # wallet end before the panel does.
        [[ $(cat "$work/order") == "daemon gone" ]] ||
            fail "when the panel had ended: $(cat "$work/order")"
        until_true 600 ended "$daemon" || fail "the demo daemon still runs after the session's end"
        until_true 600 ended "$wallet" || fail "the demo wallet still runs after the session's end"
        until_true 600 ended "$panel_pid" || fail "the panel still runs after the session's end"
        grep -q stopping "$work/daemon.out" || fail "the daemon was not stopped by its stop request"
        said=$(grep -n "stopping the node first\|run no more\|the panel closes" "$log" | tr -d '\r' |
            cut -d: -f1 | tr '\n' ' ' || true)
        read -r first second third <<<"$said"
        if [[ -z ${third:-} ]] || ((first > second || second > third)); then
            fail "the log does not say the stop, the node's end, then the close: $(cat "$log")"
        fi
        if grep -q "the shut-down screen shows no reason" "$log"; then
            echo "session-stop-windows: Wine has no ShutdownBlockReasonCreate; the log says:" \
                "$(grep -o 'the shut-down screen.*' "$log" | tr -d '\r')"
        fi
    else
        until_true 600 ended "$panel_pid" || fail "the panel still runs after the session's end"
        "${cli[@]}" getblockcount >/dev/null 2>&1 || fail "the node stopped with the option off"
        if ended "$daemon"; then
            fail "the demo daemon ended with the option off"
        fi
        ! grep -q "stopping the node first" "$log" || fail "the stop ran with the option off"
        "${cli[@]}" stop >/dev/null 2>&1 || true
        until_true 600 ended "$daemon" || true
    fi
    { wait "$panel_pid"; } 2>/dev/null || true
    forget "$panel_pid"
    wine reg query "$key" /v MainLeft 2>/dev/null | grep -q REG_SZ ||
        fail "no MainLeft in the registry after the session's end"
    if ((failures == before)); then
        echo "session-stop-windows: $row: $(grep -o 'EVENT.*' "$log" | tr -d '\r' | tr '\n' ';')"
    else
        cat "$work/panel.out" "$log" >&2 2>/dev/null || true
    fi
done

if ((failures > 0)); then
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
