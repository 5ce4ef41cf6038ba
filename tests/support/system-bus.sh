#!/bin/sh
# system-bus.sh PROGRAM [ARGUMENTS...]
#
# Runs PROGRAM with DBUS_SYSTEM_BUS_ADDRESS pointing at a private system bus
# of its own (dbus-daemon with system-bus.conf beside this script), and
# stops the bus afterwards. Without dbus-daemon, PROGRAM runs with
# TW_SYSTEM_BUS_MISSING saying why, so that it can skip itself.
#
#   system-bus.sh --address FOLDER   only starts the bus with its socket in
#                                    FOLDER, prints its address and its
#                                    process id (for scripts that start and
#                                    stop it themselves)
set -u
here=$(cd "$(dirname "$0")" && pwd)

# start FOLDER: the bus, its socket in FOLDER; sets address and bus.
start() {
    sed -e "s|TW_TEST_FOLDER|$1|" -e "s|TW_TEST_USER|$(id -un)|" "$here/system-bus.conf" \
        >"$1/system-bus.conf"
    dbus-daemon --config-file="$1/system-bus.conf" --nofork --print-address=3 \
        3>"$1/system-bus.address" >"$1/system-bus.out" 2>&1 &
    bus=$!
    tries=100
    while [ ! -s "$1/system-bus.address" ]; do
        tries=$((tries - 1))
        if [ "$tries" -le 0 ] || ! kill -0 "$bus" 2>/dev/null; then
            cat "$1/system-bus.out" >&2
            return 1
        fi
        sleep 0.1
    done
    address=$(head -n 1 "$1/system-bus.address")
}

if [ "${1:-}" = --address ]; then
    start "$2" || exit 1
    echo "$address"
    echo "$bus"
    exit 0
fi
if ! command -v dbus-daemon >/dev/null 2>&1; then
    TW_SYSTEM_BUS_MISSING="dbus-daemon is not installed" exec "$@"
fi
work=$(mktemp -d)
bus=""
# shellcheck disable=SC2317 # run by the EXIT trap
stop() {
    [ -z "$bus" ] || kill "$bus" 2>/dev/null
    [ -z "$bus" ] || wait "$bus" 2>/dev/null
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 129' HUP INT TERM
start "$work" || exit 1
DBUS_SYSTEM_BUS_ADDRESS=$address "$@"
