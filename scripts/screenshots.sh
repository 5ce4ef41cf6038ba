#!/usr/bin/env bash
# Makes the pictures of the manual and the README again, from the real
# program on the bundled demo node, on a private X server:
#
#   docs/main-window.png       the main window once the demo node answered
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
        sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'
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
