#!/usr/bin/env bash
# Measures the real panel, idle, on a virtual X server (xvfb-run -a):
#
#   - time from the start of the process to its main window being shown
#     (mapped and viewable: polled with xwininfo by its title
#     "TARN-WICK - TW-CLI-UI - <executable name>"), and the same for a bare
#     Qt window (DIR/bin/bench_bare_window, built with the benchmarks), timed
#     the same way on the same server just before: the panel's figure as a
#     multiple of it is the one to compare between runs of a noisy machine
#     (with --starts N, the medians of N such pairs);
#   - resident memory (VmRSS) after the idle stretch;
#   - CPU time (utime + stime from /proc/PID/stat) over the idle stretch,
#     with the process watcher asking for the client once a second.
#
#   ./scripts/bench-panel.sh [--build DIR] [--idle SECONDS] [--starts N]
#
#   --build DIR      a configured and built tree (default: build/, or
#                    $TW_BENCH_BUILD_DIR); the panel is DIR/bin/TW-CLI-UI
#   --idle SECONDS   length of the idle stretch (default 60)
#   --starts N       start the bare window and the panel N times each, in
#                    turn, ending all but the last panel once shown (default 1)
#
# The panel runs as TW-CLI-UI-BENCH (a link: a section of its own) with
# XDG_CONFIG_HOME and XDG_STATE_HOME in a temporary folder, so no real
# configuration or log is touched. Its configuration names a client
# ("twdemo-cli") for the watcher and ticks nothing else; the top-most
# keeper is on, as it is by default.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TW_BENCH_BUILD_DIR:-$root/build}
idle=60
starts=1

die() {
    echo "bench-panel: $*" >&2
    exit 1
}

while (($# > 0)); do
    case "$1" in
    --build)
        build=${2:?--build needs a folder}
        shift
        ;;
    --idle)
        idle=${2:?--idle needs a number of seconds}
        shift
        ;;
    --starts)
        starts=${2:?--starts needs a number}
        shift
        ;;
    -h | --help)
        sed -n '2,28p' "$0"
        exit 0
        ;;
    *) die "unknown argument $1" ;;
    esac
    shift
done
if ! [[ "$idle" =~ ^[0-9]+$ ]] || ((idle == 0)); then
    die "--idle wants a whole number of seconds"
fi
if ! [[ "$starts" =~ ^[0-9]+$ ]] || ((starts == 0)); then
    die "--starts wants a whole number"
fi
[[ -d "$build" ]] || die "no build folder $build"
build=$(cd "$build" && pwd)

# Run the rest on a virtual X server of its own.
if [[ -z "${TW_BENCH_ON_XVFB:-}" ]]; then
    command -v xvfb-run >/dev/null || die "xvfb-run is missing (Debian: xvfb)"
    command -v xwininfo >/dev/null || die "xwininfo is missing (Debian: x11-utils)"
    exec env TW_BENCH_ON_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$0" --build "$build" --idle "$idle" --starts "$starts"
fi

panel_binary=$build/bin/TW-CLI-UI
[[ -x "$panel_binary" ]] || die "no panel at $panel_binary (build the TW-CLI-UI target first)"

section=TW-CLI-UI-BENCH
title="TARN-WICK - TW-CLI-UI - $section"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tw-bench.XXXXXX")
pid=
cleanup() {
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

mkdir -p "$tmp/bin" "$tmp/config/TW-CLI-UI" "$tmp/state" "$tmp/runtime"
chmod 700 "$tmp/runtime"
ln -s "$panel_binary" "$tmp/bin/$section"
# The store: one INI group per executable name, keys as they are.
printf '[%s]\nCLI_NAME_TEXTBOX=twdemo-cli\n' "$section" >"$tmp/config/TW-CLI-UI/TW-CLI-UI.ini"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# utime + stime of the panel, in clock ticks (fields 14 and 15; the name in
# field 2 may hold blanks, so count from after its closing parenthesis).
cpu_ticks() {
    local stat rest
    stat=$(<"/proc/$pid/stat")
    rest=${stat##*) }
    read -r -a fields <<<"$rest"
    echo $((fields[11] + fields[12]))
}
shown() {
    xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}
# Waits until the window titled $1 of the process $pid is shown; $2 names
# the program for the messages.
wait_shown() {
    local deadline=$(($(now_ms) + 30000))
    until shown "$1"; do
        kill -0 "$pid" 2>/dev/null || die "$2 ended before it showed its window: $(cat "$tmp/panel.log")"
        (($(now_ms) < deadline)) || die "no window \"$1\" within 30 s"
        sleep 0.01
    done
}

# Ends the process $pid and waits for it.
end_it() {
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=
}
# The median of the numbers given.
median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}

# The floor, a bare Qt window, started and timed like the panel, then ended;
# then the panel, ended too but for the last start, which stays for the idle
# stretch.
bare_binary=$build/bin/bench_bare_window
bare_title="TW bench bare window $$"
bare_runs=()
panel_runs=()
for ((run = 1; run <= starts; run++)); do
    if [[ -x "$bare_binary" ]]; then
        started=$(now_ms)
        XDG_CONFIG_HOME=$tmp/config XDG_STATE_HOME=$tmp/state XDG_RUNTIME_DIR=$tmp/runtime \
            "$bare_binary" "$bare_title" >"$tmp/panel.log" 2>&1 &
        pid=$!
        wait_shown "$bare_title" "the bare window"
        bare_runs+=($(($(now_ms) - started)))
        end_it
    fi

    started=$(now_ms)
    XDG_CONFIG_HOME=$tmp/config XDG_STATE_HOME=$tmp/state XDG_RUNTIME_DIR=$tmp/runtime \
        "$tmp/bin/$section" >"$tmp/panel.log" 2>&1 &
    pid=$!
    wait_shown "$title" "the panel"
    panel_runs+=($(($(now_ms) - started)))
    ((run == starts)) || end_it
done

hz=$(getconf CLK_TCK)
ticks_before=$(cpu_ticks)
sleep "$idle"
kill -0 "$pid" 2>/dev/null || die "the panel ended while idle: $(cat "$tmp/panel.log")"
ticks_after=$(cpu_ticks)
rss_kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")

cpu_ms=$(((ticks_after - ticks_before) * 1000 / hz))
echo "bench-panel: panel $panel_binary as $section, on $DISPLAY"
panel_ms=$(median "${panel_runs[@]}")
if ((starts == 1)); then
    echo "bench-panel: start to main window shown: ${panel_ms} ms"
else
    echo "bench-panel: start to main window shown: median ${panel_ms} ms of ${panel_runs[*]}"
fi
if ((${#bare_runs[@]} > 0)); then
    bare_ms=$(median "${bare_runs[@]}")
    ratio=$(awk -v p="$panel_ms" -v b="$bare_ms" 'BEGIN { printf "%.2f", p / b }')
    if ((starts == 1)); then
        echo "bench-panel: start to bare Qt window shown: ${bare_ms} ms (panel/bare: $ratio)"
    else
        echo "bench-panel: start to bare Qt window shown: median ${bare_ms} ms of" \
            "${bare_runs[*]} (panel/bare medians: $ratio)"
    fi
else
    echo "bench-panel: no bare window to compare with ($bare_binary: build the benchmarks)"
fi
echo "bench-panel: VmRSS after ${idle} s idle: ${rss_kib} KiB"
echo "bench-panel: CPU time (utime+stime) over ${idle} s idle: ${cpu_ms} ms" \
    "($((cpu_ms * 60 / idle)) ms per idle minute, clock tick $((1000 / hz)) ms)"
if grep -q . "$tmp/panel.log"; then
    echo "bench-panel: the panel said:"
    sed 's/^/  /' "$tmp/panel.log"
fi
