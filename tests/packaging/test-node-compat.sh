#!/usr/bin/env bash
# The program's node options against tw-cli-ui-node as version 1.2 shipped
# it (tw-cli-ui-node-1.2, a shell script that wrote the files itself), in a
# temporary home with no display: for the same node both make the same link,
# menu entry and autostart entry, byte for byte, and each lists and removes
# what the other made, so the entries of existing users keep working.
# Prints "N passed, N failed".
#
#   test-node-compat.sh OLD-COMMAND PANEL
set -uo pipefail
old=$1
panel=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# The links' folder needs quoting in an Exec line.
export HOME=$home XDG_DATA_HOME=$home/share XDG_CONFIG_HOME=$home/config
export TW_CLI_UI_PROGRAM=$panel TW_CLI_UI_BIN_DIR="$home/my bin \$HOME"
unset DISPLAY WAYLAND_DISPLAY
# shellcheck source=tests/packaging/checks.sh
. "$(dirname "$0")/checks.sh"

# The node's three files as one text: where the link leads, the menu entry,
# the autostart entry.
files_of() {
    printf 'link to %s\n' "$(readlink "$TW_CLI_UI_BIN_DIR/TW-CLI-UI-$1")"
    cat "$XDG_DATA_HOME/applications/io.github.tw_cli_ui.TWCLIUI.node-$1.desktop" \
        "$XDG_CONFIG_HOME/autostart/io.github.tw_cli_ui.TWCLIUI-TW-CLI-UI-$1.desktop"
}
nothing_left() {
    test -z "$(find "$TW_CLI_UI_BIN_DIR" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" -type f -o -type l)"
}

for name in BTC-A ltc.main_2; do
    "$old" add "$name" >/dev/null && "$old" autostart "$name" on >/dev/null
    files_of "$name" >"$home/by-old" 2>&1
    "$old" remove "$name" >/dev/null
    check "$name: the program adds" "$panel" --add-node "$name"
    check "$name: the program switches the start at login on" \
        "$panel" --node-autostart "$name" on
    files_of "$name" >"$home/by-new" 2>&1
    check "$name: link, menu entry and autostart entry as 1.2 made them" \
        cmp "$home/by-old" "$home/by-new"
    "$panel" --remove-node "$name" >/dev/null
    check "$name: nothing left" nothing_left
done

"$old" add BTC-OLD >/dev/null && "$old" autostart BTC-OLD on >/dev/null
check "the program lists what 1.2 made" test "$("$panel" --list-nodes)" = "BTC-OLD (starts at login)"
check "the program removes it" "$panel" --remove-node BTC-OLD
check "all of it" nothing_left

"$panel" --add-node BTC-NEW >/dev/null && "$panel" --node-autostart BTC-NEW on >/dev/null
check "1.2 lists what the program made" test "$("$old" list)" = "BTC-NEW (starts at login)"
check "1.2 removes it" "$old" remove BTC-NEW
check "all of it" nothing_left

checks_done
