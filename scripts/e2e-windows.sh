#!/usr/bin/env bash
# One end-to-end run of the real TW-CLI-UI.exe under Wine against the demo
# node's .exe programs: "Auto Start", "Auto G-B-C", "Also Update External
# File" and "Auto Close" ticked in the registry. The panel counts down,
# queries the node through cmd.exe and its batch file, writes the height and
# CR LF to the external file and a row to its history file, closes itself
# with status 0 and leaves its position in the registry. Run by scripts/test-windows.sh (WINEPREFIX set,
# an X server at hand).
#
#   scripts/e2e-windows.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
bin=$build/bin
section=TW-CLI-UI-E2E
key="HKCU\\Software\\VB and VBA Program Settings\\TW-CLI-UI\\$section"
# A folder with a blank, as "C:\TW Work\BTC A" is on many Windows machines:
# the batch line quotes such paths as the settings window composes them.
root=$(mktemp -d)
work="$root/TW Work"
node=$work/node
mkdir -p "$node"
printf '# the end-to-end run'"'"'s demo node\n' >"$node/twdemo.conf"
win() { winepath -w "$1" 2>/dev/null; }
cli=(wine "$bin/twdemo-cli.exe" "-conf=$(win "$node/twdemo.conf")")

fail() {
    echo "e2e-windows: FAILED: $*" >&2
    echo "0 passed, 1 failed"
    exit 1
}
cleanup() {
    "${cli[@]}" stop >/dev/null 2>&1 || true
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    rm -rf "$root"
}
trap cleanup EXIT

wine "$bin/twdemo-daemon.exe" "-conf=$(win "$node/twdemo.conf")" >"$work/daemon.log" 2>&1 &
for _ in $(seq 100); do
    "${cli[@]}" getblockcount >/dev/null 2>&1 && break
    sleep 0.2
done
"${cli[@]}" getblockcount >/dev/null 2>&1 || fail "the demo daemon did not come up"

# The configuration, as the settings window would have saved it.
cp "$bin/TW-CLI-UI.exe" "$work/$section.exe"
log=$(win "$work")\\CLI-UI-GBC.LOG
batch=$(win "$work")\\CLI-UI-GBC.BAT
external=$(win "$work")\\height.txt
printf 'call "%s" -conf="%s" getblockcount > "%s"\r\n' "$(win "$bin/twdemo-cli.exe")" \
    "$(win "$node/twdemo.conf")" "$log" >"$work/CLI-UI-GBC.BAT"
set_value() { wine reg add "$key" /v "$1" /t REG_SZ /d "$2" /f >/dev/null; }
wine reg delete "$key" /f >/dev/null 2>&1 || true
for tick in AUTOSTART_TICKBOX CLI_GBC_BAT_TICKBOX UPDATE_EXTERNAL_FILE_TICKBOX \
    AUTOCLOSE_TIMER_TICKBOX; do
    set_value "$tick" 1
done
set_value AlwaysOnTopTimer_TICKBOX 0
set_value CLI_NAME_TEXTBOX twdemo-cli.exe
set_value CLI_GBC_FULL_BAT_LOCATION_TEXTBOX "$batch"
set_value CLI_GBC_FULL_LOG_LOCATION_TEXTBOX "$log"
set_value UPDATE_EXTERNAL_FILE_TEXTBOX "$external"
set_value MainLeft 1500
# The metrics: served on a free port while the panel runs, and written as
# <section>.prom into the work folder after each answer.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
set_value HEALTH_METRICS_LISTEN "127.0.0.1:$port"
set_value HEALTH_METRICS_FOLDER "$(win "$work")"

# The history of this configuration, under %LOCALAPPDATA%\TW-CLI-UI.
local_app_data=$(wine cmd.exe /d /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
history=$(winepath -u "$local_app_data\\TW-CLI-UI\\$section.history.csv" 2>/dev/null)
rm -f "$history" "$history.1"

start=$(date +%s)
status=0
timeout 120 wine "$work/$section.exe" >"$work/panel.log" 2>&1 &
panel=$!
# The endpoint as Prometheus scrapes it, once the first answer is in.
scraped=
for _ in $(seq 120); do
    if curl -fs --max-time 2 "http://127.0.0.1:$port/metrics" >"$work/scrape.txt" 2>/dev/null &&
        grep -q '^twcliui_block_count{node="TW-CLI-UI-E2E"} 8[0-9]\{5\}$' "$work/scrape.txt"; then
        scraped=1
        break
    fi
    sleep 0.5
done
wait "$panel" || status=$?
took=$(($(date +%s) - start))
[[ -n "$scraped" ]] || fail "the endpoint never served the block count: $(head -c 400 "$work/scrape.txt" 2>/dev/null)"
grep -q '^twcliui_headers{node="TW-CLI-UI-E2E"} 8[0-9]\{5\}$' "$work/$section.prom" ||
    fail "the metrics file holds no headers: $(head -c 400 "$work/$section.prom" 2>/dev/null)"
[[ $status == 0 ]] || fail "the panel ended with status $status after $took s: $(tail -n 5 "$work/panel.log")"
[[ -f "$work/height.txt" ]] || fail "no external file after $took s"
# The client's answer with its line end, then the panel's CR LF.
height=$(head -c 6 "$work/height.txt")
ends=$(tail -c +7 "$work/height.txt" | od -An -tx1 | tr -d ' \n')
[[ $height =~ ^8[0-9]{5}$ && $ends == 0d0a0d0a ]] ||
    fail "external file holds $(od -c "$work/height.txt" | head -n 3)"
header=time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx
[[ -f "$history" && "$(head -n 1 "$history" | tr -d '\r')" == "$header" ]] ||
    fail "no history file at $history"
# The row carries the node's state, asked with the demo client's .exe
# directly after the answer: the headers (a block may have come meanwhile),
# progress, not in initial download, the tip's time, peers in and out, the
# mempool.
grep -Eq "^20[0-9-]{8}T[0-9:.]{12}Z,blocks,$height,,8[0-9]{5},[01]\.[0-9]{8},0,[0-9]{10},[0-9]+,[0-9]+,[0-9]+$" \
    "$history" || fail "the history holds no row for $height with the node's state: $(cat "$history")"
wine reg query "$key" /v MainLeft | grep -q 'REG_SZ' || fail "no MainLeft in the registry"
# --check from the command line, no window: the node answers.
check_status=0
check=$(wine "$work/$section.exe" --check 2>/dev/null | tr -d '\r') || check_status=$?
# A block that came between its two questions shows as "block N of N+1".
[[ $check_status == 0 && $check =~ ^OK\ -\ block\ 8[0-9]{5}(\ of\ 8[0-9]{5})?,\ [0-9]+\ peers,\ tip ]] ||
    fail "--check said \"$check\" with status $check_status"
echo "e2e-windows: the panel counted down, queried, wrote $height (external file and history, with the node's state), served and wrote its metrics and closed itself in $took s, in a folder with a blank; --check: $check"
echo "1 passed, 0 failed"
