#!/bin/sh
# atspi-main-window.sh PANEL CONFIGURE CLIENT
#
# The panel's main window read over the real accessibility bus. Run it on a
# private X server and session bus:
#   tests/support/run-under-xvfb.sh dbus-run-session -- atspi-main-window.sh ...
# The session bus starts the AT-SPI bus (at-spi2-core) when it is first
# asked for it. PANEL runs on a configuration of its own, made by CONFIGURE
# (twdemo-configure) in a temporary home, with the demo node's CLIENT
# (twdemo-cli) and no node running; main_window_atspi.py then reads and
# works its window. Exits 77 (skipped) when Xvfb, the AT-SPI bus or pyatspi
# is missing.
set -u
panel=$1
configure=$2
client=$3
here=$(cd "$(dirname "$0")" && pwd)

skip() {
    echo "atspi-main-window: skipped: $*" >&2
    exit 77
}
[ -z "${TW_XVFB_MISSING:-}" ] || skip "$TW_XVFB_MISSING"
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || skip "no session bus"
# Debian's python3 holds pyatspi; a python3 earlier on PATH may not.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
"$python" -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "at-spi2-core is not installed"

work=$(mktemp -d)
pid=""
# shellcheck disable=SC2317 # run by the EXIT trap
stop() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap stop EXIT
trap 'exit 129' HUP INT TERM

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$work/node"
# The demo node's configuration, and no node: every query fails with the
# client's "Could not connect to the server".
: >"$work/node/twdemo.conf"
section=TW-CLI-UI-A11Y
"$configure" "$section" "$work/node" "$(dirname "$client")" >/dev/null || exit 1
# Without Auto Start: the script starts the countdown itself.
ini="$XDG_CONFIG_HOME/TW-CLI-UI/TW-CLI-UI.ini"
sed -i 's/^AUTOSTART_TICKBOX=1$/AUTOSTART_TICKBOX=0/' "$ini"
grep -q '^AUTOSTART_TICKBOX=0$' "$ini" || {
    echo "atspi-main-window: no AUTOSTART_TICKBOX in $ini" >&2
    exit 1
}

ln -s "$panel" "$work/$section"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/$section" >"$work/panel.log" 2>&1 &
pid=$!
"$python" "$here/main_window_atspi.py" "TARN-WICK - TW-CLI-UI - $section"
status=$?
if [ "$status" -ne 0 ]; then
    echo "atspi-main-window: the panel said:" >&2
    cat "$work/panel.log" >&2
fi
exit "$status"
