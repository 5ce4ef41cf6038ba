#!/usr/bin/env bash
# Makes the pictures of the manual and the README again, from the real
# program on the bundled demo node, on a private X server:
#
#   docs/main-window.png       the main window once the demo node answered
#   docs/node-window.png       the Node window: what the demo node said
#   docs/nodes-window.png      the Nodes window with two more configurations
#   docs/settings-window.png   the settings window of that configuration
#   docs/history-window.png    the history window over a sample history (a
#                              day and a half with a three-hour stall and
#                              the node's catch-up after it)
#   docs/history-sync.png      the history window over ten hours of an
#                              initial block download (progress, blocks
#                              behind the headers, the time left)
#   docs/alerts-dialog.png     the alerts dialog
#
#   ./scripts/screenshots.sh [--no-deps] [--out FOLDER]
#
# Everything runs in a temporary home (settings, demo node, logs), so your
# own configuration is never touched. Needs Xvfb, openbox, xdotool and
# ImageMagick's import (installed with --screenshots by install-deps.sh).
set -euo pipefail
# The manual's pictures show the program's own English (and the windows are
# found by their English titles), whatever the desktop's language.
export LC_ALL=C.UTF-8 LANGUAGE=

root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/docs
deps=1
while (($# > 0)); do
    case "$1" in
    --no-deps) deps=0 ;;
    --out)
        out=$2
        shift
        ;;
    -h | --help)
        sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'
        exit 0
        ;;
    *)
        echo "screenshots: unknown argument $1 (try --help)" >&2
        exit 2
        ;;
    esac
    shift
done
# The pictures are taken on a private X server with a window manager, so
# that windows get their frames and can be clicked as a user would: the
# script runs itself again there, after the set-up.
if [[ -z "${TW_UNDER_XVFB:-}" ]]; then
    ((deps)) && "$root/scripts/install-deps.sh" --screenshots
    mkdir -p "$out"
    # demo.sh builds the same way; building first keeps the build's time out
    # of the waits for the windows below. The picture program of the history
    # window lives with the tests.
    build=${TW_DEMO_BUILD_DIR:-$root/build}
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
    cmake --build "$build" --target TW-CLI-UI twdemo history_chart_shot >/dev/null
    exec "$root/tests/support/run-under-xvfb.sh" "$0" --no-deps --out "$(cd "$out" && pwd)"
fi
if [[ -n "${TW_XVFB_MISSING:-}" ]]; then
    echo "screenshots: no private X server: ${TW_XVFB_MISSING}" >&2
    exit 1
fi
build=${TW_DEMO_BUILD_DIR:-$root/build}

work=$(mktemp -d /tmp/tw-cli-ui-screenshots.XXXXXX)
pids=()
cleanup() {
    ((${#pids[@]} > 0)) && kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.local/state
mkdir -p "$HOME"
demo=$work/demo
"$root/scripts/demo.sh" --no-deps --dir "$demo" --timeout 120 >"$work/demo.log" 2>&1 &
pids+=($!)

window_of() { # window_of TITLE: the window id, once it shows (30 s at most)
    local id=""
    for _ in $(seq 300); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) && [[ -n "$id" ]] && break
        sleep 0.1
    done
    [[ -n "$id" ]] || {
        echo "screenshots: no window \"$1\"" >&2
        cat "$work/demo.log" >&2
        exit 1
    }
    echo "$id"
}

main=$(window_of "TARN-WICK - TW-CLI-UI - TW-CLI-UI-DEMO")
# The demo configuration counts down 11 seconds, then asks for the block
# count and the connections; the picture shows both answers.
for _ in $(seq 600); do
    [[ -s "$demo/CLI-UI-GBC.LOG" && -s "$demo/CLI-UI-GCC.LOG" ]] && break
    sleep 0.1
done
# The connection-count cycle follows the block-count one; its box is
# black with the answer about four seconds after its log is written.
sleep 6
import -window "$main" "$out/main-window.png"
echo "screenshots: $out/main-window.png"

# The repeating cycle keeps Settings greyed: STOP first, then Settings, each
# at its place in the window (in pixels at 96 dpi).
# The Node window and the Nodes window, from the Current Block box's
# context menu (its last entries: Node…, Nodes…, History…, Alerts…). Two
# more configurations with a history of their own, for the Nodes window.
ini=$XDG_CONFIG_HOME/TW-CLI-UI/TW-CLI-UI.ini
now=$(date -u +%s)
for other in "TW-CLI-UI-LTC 2710000 2750000 1 $((now - 40 * 86400))" "TW-CLI-UI-BTC-B 871200 871200 0 $((now - 4 * 3600))"; do
    read -r name blocks headers ibd tip <<<"$other"
    printf '[%s]\nCLI_NAME_TEXTBOX=cli\n' "$name" >>"$ini"
    mkdir -p "$XDG_STATE_HOME/TW-CLI-UI"
    printf 'time,kind,value,failure,headers,progress,ibd,tip_time,peers_in,peers_out,mempool_tx\n%s,blocks,%s,,%s,0.97,%s,%s,2,8,10\n' \
        "$(date -u +%Y-%m-%dT%H:%M:%S.000Z)" "$blocks" "$headers" "$ibd" "$tip" >"$XDG_STATE_HOME/TW-CLI-UI/$name.history.csv"
done
context_entry() { # context_entry UPS: the entry that many up from the menu's end
    xdotool mousemove --window "$main" 250 104 click 3
    sleep 0.5
    xdotool key --repeat "$1" --delay 100 Up
    xdotool key Return
}
context_entry 4
node_window=$(window_of "TW-CLI-UI - TW-CLI-UI-DEMO - Node")
sleep 1
import -window "$node_window" "$out/node-window.png"
xdotool windowclose "$node_window"
context_entry 3
nodes_window=$(window_of "TW-CLI-UI - Nodes")
sleep 2
import -window "$nodes_window" "$out/nodes-window.png"
xdotool windowclose "$nodes_window"
echo "screenshots: $out/node-window.png $out/nodes-window.png"

xdotool mousemove --window "$main" 296 192 click 1
sleep 1
xdotool mousemove --window "$main" 44 192 click 1
settings=$(window_of "TARN-WICK - TW-CLI-UI - SETTINGS")
sleep 1
import -window "$settings" "$out/settings-window.png"
echo "screenshots: $out/settings-window.png"

# The history window and the alerts dialog, drawn by the program's own
# widgets over a sample history.
QT_QPA_PLATFORM=offscreen "$build/tests/health/history_chart_shot" --sample "$work/history.csv"
QT_QPA_PLATFORM=offscreen "$build/tests/health/history_chart_shot" "$work/history.csv" \
    "$out/history-window.png" day
QT_QPA_PLATFORM=offscreen "$build/tests/health/history_chart_shot" --sample-sync "$work/sync.csv"
QT_QPA_PLATFORM=offscreen "$build/tests/health/history_chart_shot" "$work/sync.csv" \
    "$out/history-sync.png" day
QT_QPA_PLATFORM=offscreen "$build/tests/health/history_chart_shot" --alerts "$out/alerts-dialog.png"
echo "screenshots: $out/history-window.png $out/history-sync.png $out/alerts-dialog.png"
