#!/usr/bin/env bash
# Shows TW-CLI-UI on the bundled demo node, with no real node needed.
#
#   ./scripts/demo.sh [--no-deps] [--dir FOLDER] [--timeout SECONDS] [--sync] [--fail]
#
# Installs what is missing, builds the panel and the demo programs (Release,
# in build/), starts the demo daemon and wallet, points a configuration of
# its own at them and runs the panel as TW-CLI-UI-DEMO: a link under another
# name has its own section in the settings store, so your own TW-CLI-UI
# configuration is never touched. When the panel closes (or on Ctrl-C) the
# demo node is sent its stop command.
#
#   --no-deps          do not run scripts/install-deps.sh
#   --dir FOLDER       the demo folder (default $XDG_STATE_HOME/TW-CLI-UI-DEMO,
#                      i.e. ~/.local/state/TW-CLI-UI-DEMO): the node's
#                      twdemo.conf and state, the batch files and all logs
#   --timeout SECONDS  end the panel after that long (smoke tests, CI)
#   --sync             start the node in a sync: 6000 blocks behind the
#                      network, catching up at 25 blocks a second (about four
#                      minutes of initial block download)
#   --fail             start the node unreachable: every client call fails
#                      with bitcoin-cli's "Could not connect to the server"
#
# While the demo runs, its client plays these (and more) at any time:
#   build/bin/twdemo-cli -conf=FOLDER/twdemo.conf sync [BEHIND [PER_SECOND]]
#   build/bin/twdemo-cli -conf=FOLDER/twdemo.conf fail     (heal ends it)
#   build/bin/twdemo-cli -conf=FOLDER/twdemo.conf freeze   (thaw ends it)
#   build/bin/twdemo-cli -conf=FOLDER/twdemo.conf warn TEXT (warn alone clears it)
#
# Without DISPLAY and WAYLAND_DISPLAY the panel runs under xvfb-run, unseen.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TW_DEMO_BUILD_DIR:-$root/build}
section=TW-CLI-UI-DEMO

say() { echo "demo: $*"; }
die() {
    echo "demo: $*" >&2
    exit 1
}

deps=1
timeout=
sync=0
fail=0
state_home=${XDG_STATE_HOME:-}
[[ "$state_home" == /* ]] || state_home=$HOME/.local/state
demo=$state_home/TW-CLI-UI-DEMO

while (($# > 0)); do
    case "$1" in
    --no-deps) deps=0 ;;
    --dir)
        (($# >= 2)) || die "--dir needs a folder"
        demo=$2
        shift
        ;;
    --timeout)
        (($# >= 2)) || die "--timeout needs a number of seconds"
        [[ "$2" =~ ^[0-9]+$ && "$2" -gt 0 ]] || die "--timeout needs a number of seconds"
        timeout=$2
        shift
        ;;
    --sync) sync=1 ;;
    --fail) fail=1 ;;
    -h | --help)
        sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
        exit 0
        ;;
    *) die "unknown argument $1 (try --help)" ;;
    esac
    shift
done

# The batch lines name the demo folder unquoted (as the panel composes
# them), so a blank splits them as cmd.exe would; only the client's folder
# is quoted. Keep both free of blanks and of what cmd.exe would take apart,
# so that the same folders serve the Windows build.
[[ "$demo" == /* ]] || demo=$PWD/$demo
if [[ "$demo" =~ [[:space:]\;\&\|\<\>\(\)\$\`\"\'\\\*\?\#] ]]; then
    die "the demo folder \"$demo\" holds blanks or shell characters; choose another with --dir"
fi
if [[ "$build" =~ [\$\`\"\\] ]]; then
    die "the build folder \"$build\" holds \$, \`, \" or \\; set TW_DEMO_BUILD_DIR to another"
fi

if ((deps)); then
    "$root/scripts/install-deps.sh"
fi

say "building the panel and the demo node in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target TW-CLI-UI twdemo

bin=$build/bin
ln -sfn TW-CLI-UI "$bin/$section"
conf=$demo/twdemo.conf
cli=("$bin/twdemo-cli" "-conf=$conf")

mkdir -p "$demo"
if [[ ! -f "$conf" ]]; then
    cat >"$conf" <<'EOF'
# Configuration of the TW-CLI-UI demo node. Its folder is the node's data
# folder: twdemo.state (the chain's genesis), the heartbeat files, and the
# panel's batch and log files.
EOF
fi

# A node left unreachable by an earlier run would look stopped.
"${cli[@]}" heal >/dev/null 2>&1 || true
if "${cli[@]}" getblockcount >/dev/null 2>&1; then
    say "a demo node is already running in $demo; stopping it first"
    "${cli[@]}" stop >/dev/null 2>&1 || true
    for _ in $(seq 50); do
        "${cli[@]}" getblockcount >/dev/null 2>&1 || break
        sleep 0.1
    done
fi

pids=()
# shellcheck disable=SC2317 # run by the EXIT trap
stop_node() {
    trap - EXIT INT TERM HUP
    ((${#pids[@]} > 0)) || return 0
    say "stopping the demo node"
    "${cli[@]}" heal >/dev/null 2>&1 || true
    "${cli[@]}" stop >/dev/null 2>&1 || true
    for _ in $(seq 50); do
        kill -0 "${pids[@]}" 2>/dev/null || break
        sleep 0.1
    done
    # A node that missed the stop (its daemon died, say) is ended by hand.
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
}
trap stop_node EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

say "starting twdemo-daemon and twdemo-wallet in $demo"
"$bin/twdemo-daemon" "-conf=$conf" >>"$demo/twdemo-daemon.log" 2>&1 &
daemon_pid=$!
pids+=("$daemon_pid")
"$bin/twdemo-wallet" "-conf=$conf" >>"$demo/twdemo-wallet.log" 2>&1 &
pids+=($!)

for _ in $(seq 100); do
    "${cli[@]}" getblockcount >/dev/null 2>&1 && break
    kill -0 "$daemon_pid" 2>/dev/null || break
    sleep 0.1
done
if ! height=$("${cli[@]}" getblockcount 2>/dev/null); then
    tail -n 5 "$demo/twdemo-daemon.log" >&2 || true
    die "the demo daemon did not come up (log: $demo/twdemo-daemon.log)"
fi
say "demo node up at block $height"
modes=()
if ((sync)); then
    modes+=(sync)
fi
if ((fail)); then
    modes+=(fail)
fi
for mode in "${modes[@]}"; do
    said=$("${cli[@]}" "$mode") || die "the demo node did not take \"$mode\""
    say "$said"
done
say "to play a sync:        ${cli[*]} sync [BLOCKS_BEHIND [BLOCKS_PER_SECOND]]"
say "to play a node down:   ${cli[*]} fail    (and heal)"
say "to play a stalled one: ${cli[*]} freeze  (and thaw)"

"$bin/twdemo-configure" "$section" "$demo" "$bin"

panel=("$bin/$section")
if [[ -n "$timeout" ]]; then
    panel=(timeout "$timeout" "${panel[@]}")
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    command -v xvfb-run >/dev/null 2>&1 || die "no display, and xvfb-run is missing"
    say "no DISPLAY or WAYLAND_DISPLAY: running the panel under xvfb-run -a, where nobody sees it"
    panel=(xvfb-run -a "${panel[@]}")
fi

say "running $section (close its window to end the demo)"
status=0
"${panel[@]}" || status=$?
if [[ -n "$timeout" && "$status" == 124 ]]; then
    say "the panel ran for ${timeout}s; block-count log: $(tr -d '\r\n' <"$demo/CLI-UI-GBC.LOG" 2>/dev/null || echo none)"
    status=0
fi
exit "$status"
