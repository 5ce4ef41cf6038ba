#!/usr/bin/env bash
# `TW-CLI-UI --check` as a monitoring system runs it: the real program with
# no display, under a configuration's own name, against the demo node. The
# exit status and the line for a node that answers, one that syncs, one
# that fails, no configuration and a bad argument.
#
#   check-command.sh PANEL TWDEMO-CLI TWDEMO-DAEMON
set -euo pipefail

panel=$1 cli=$2 daemon=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-check.XXXXXX")
daemon_pid=
# shellcheck disable=SC2317 # run by the EXIT trap, which ShellCheck does not follow
cleanup() {
    if [[ -n "$daemon_pid" ]]; then
        "$cli" "-conf=$work/node/twdemo.conf" heal >/dev/null 2>&1 || true
        "$cli" "-conf=$work/node/twdemo.conf" stop >/dev/null 2>&1 || true
        wait "$daemon_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
label="check-command"
# shellcheck source=tests/support/processes.sh
source "$(dirname "$0")/../support/processes.sh"

mkdir -p "$work/node" "$work/config/TW-CLI-UI" "$work/state" "$work/bin"
echo "# demo node" >"$work/node/twdemo.conf"
ln -s "$panel" "$work/bin/TW-CLI-UI-CHECK"
printf 'call "%s" -conf=%s getblockcount > %s\r\n' "$cli" "$work/node/twdemo.conf" "$work/GBC.LOG" >"$work/GBC.BAT"
printf '[TW-CLI-UI-CHECK]\nCLI_GBC_FULL_BAT_LOCATION_TEXTBOX=%s\nHEALTH_STALL_MINUTES=90\n' "$work/GBC.BAT" \
    >"$work/config/TW-CLI-UI/TW-CLI-UI.ini"
"$daemon" "-conf=$work/node/twdemo.conf" >/dev/null 2>&1 &
daemon_pid=$!
for _ in $(seq 100); do
    "$cli" "-conf=$work/node/twdemo.conf" getblockcount >/dev/null 2>&1 && break
    sleep 0.1
done

# check NAME STATUS PATTERN [ARGS...]: one run under the configuration's name.
check() {
    local name=$1 want=$2 pattern=$3 line status=0
    shift 3
    line=$(env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" \
        timeout 60 "$work/bin/TW-CLI-UI-CHECK" --check "$@" 2>"$work/stderr") || status=$?
    if [[ $status != "$want" || ! $line =~ $pattern ]]; then
        fail "$name: status $status (want $want), line \"$line\" (want /$pattern/), stderr: $(head -c 300 "$work/stderr")"
    else
        echo "check-command: $name: $status $line"
    fi
}

check "answering" 0 '^OK - block [0-9]+, [0-9]+ peers, tip [0-9]+ (s|min) old \| blocks=[0-9]+ headers=[0-9]+ peers=[0-9]+ tip_age=[0-9]+s progress=1\.000000$'
"$cli" "-conf=$work/node/twdemo.conf" sync 5000 1 >/dev/null
check "syncing" 1 '^WARNING - initial download: block [0-9]+ of [0-9]+, .* \| blocks=[0-9]+ headers=[0-9]+ '
"$cli" "-conf=$work/node/twdemo.conf" fail >/dev/null
check "failing" 2 '^CRITICAL - no answer: the client exited with status 1 and said "error: Could not connect to the server 127\.0\.0\.1:8332 Make sure'
"$cli" "-conf=$work/node/twdemo.conf" heal >/dev/null
check "a bad argument" 3 '^UNKNOWN - unknown argument --verbose' --verbose
printf '[TW-CLI-UI-CHECK]\n' >"$work/config/TW-CLI-UI/TW-CLI-UI.ini"
check "nothing configured" 3 '^UNKNOWN - no block-count batch file is configured'
[[ ! -e "$work/state/TW-CLI-UI/TW-CLI-UI-CHECK.log" ]] || fail "the check wrote the panel's diagnostics log"
exit $((failures > 0))
