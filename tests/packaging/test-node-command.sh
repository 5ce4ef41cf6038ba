#!/usr/bin/env bash
# tw-cli-ui-node against a temporary home: add makes the link and the menu
# entry, the link runs the panel under the node's own name, list names it,
# autostart switches its start at login, remove takes all of it away, odd
# names, unknown names and foreign files are refused, the usage text is the
# command's own comment, and the settings file is never touched. Prints "N
# passed, N failed".
#
#   test-node-command.sh COMMAND PANEL
set -uo pipefail
command=$1
panel=$2
here=$(cd "$(dirname "$0")" && pwd)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_DATA_HOME=$home/share XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state
export TW_CLI_UI_PROGRAM=$panel TW_CLI_UI_BIN_DIR=$home/bin
entry=$home/share/applications/io.github.tw_cli_ui.TWCLIUI.node-BTC-A.desktop
login_entry=$home/config/autostart/io.github.tw_cli_ui.TWCLIUI-TW-CLI-UI-BTC-A.desktop
# shellcheck source=tests/packaging/checks.sh
. "$(dirname "$0")/checks.sh"

check "add" "$command" add BTC-A
check "the link leads to the panel" test "$(readlink "$home/bin/TW-CLI-UI-BTC-A")" = "$panel"
check "the menu entry names the node" grep -qx "Name=TW-CLI-UI – BTC-A" "$entry"
check "the menu entry runs the link" grep -qx "Exec=\"$home/bin/TW-CLI-UI-BTC-A\"" "$entry"
if command -v desktop-file-validate >/dev/null; then
    check "the menu entry is valid" desktop-file-validate "$entry"
fi
check "list names it" test "$("$command" list)" = "BTC-A"
# The link is the panel under the node's name: its window says so, and
# closing it saves that configuration in the section of that name.
check "the link shows \"TARN-WICK - TW-CLI-UI - BTC-A\" and closes when asked" \
    "$here/../support/run-under-xvfb.sh" "$here/show-and-close.sh" \
    "TARN-WICK - TW-CLI-UI - TW-CLI-UI-BTC-A" "$home/bin/TW-CLI-UI-BTC-A"
store=$home/config/TW-CLI-UI/TW-CLI-UI.ini
check "its settings are the section [TW-CLI-UI-BTC-A]" grep -qx "\[TW-CLI-UI-BTC-A\]" "$store"
cp "$store" "$home/store-before"
check "adding again is fine" "$command" add BTC-A
check "autostart on" "$command" autostart BTC-A on
check "the autostart entry runs the link" grep -qx "Exec=\"$home/bin/TW-CLI-UI-BTC-A\"" "$login_entry"
check "the autostart entry is valid" desktop-file-validate "$login_entry"
check "list says it starts at login" test "$("$command" list)" = "BTC-A (starts at login)"
check "autostart off" "$command" autostart BTC-A off
check "the autostart entry is gone" test ! -e "$login_entry"
check "list says it no more" test "$("$command" list)" = "BTC-A"
"$command" autostart BTC-A on >/dev/null
check "remove" "$command" remove BTC-A
check "remove took the start at login too" test ! -e "$login_entry"
check "add and remove left the store as it was" cmp "$store" "$home/store-before"
check "the link is gone" test ! -e "$home/bin/TW-CLI-UI-BTC-A" -a ! -L "$home/bin/TW-CLI-UI-BTC-A"
check "the menu entry is gone" test ! -e "$entry"
# shellcheck disable=SC2016 # 'a$(x)' is a name with a dollar sign, never expanded
for name in "" "../x" "a/b" "-x" ".hidden" "a b" 'a$(x)'; do
    "$command" add "$name" >/dev/null 2>&1
    check "\"$name\" refused" test $? -eq 2
done
# Names that were never made, and wrong uses: a clear word on stderr, a
# non-zero status, nothing made.
for words in "remove NEVER" "autostart NEVER on" "autostart NEVER off"; do
    # shellcheck disable=SC2086 # the words are the arguments
    said=$("$command" $words 2>&1 >/dev/null)
    check "$words fails with status 1" test $? -eq 1
    check "$words says why" grep -q "NEVER" <<<"$said"
done
"$command" autostart BTC-A sideways >/dev/null 2>&1
check "autostart takes on or off only" test $? -eq 2
usage=$("$command" 2>&1)
check "no command: status 2" test $? -eq 2
for synopsis in "add NAME" "autostart NAME on|off" "remove NAME" "list"; do
    check "the usage names \"$synopsis\"" grep -q "tw-cli-ui-node $synopsis " <<<"$usage"
done
check "the usage is the comment, no line of code" \
    test "$(tail -n 1 <<<"$usage")" = "never touches (remove leaves that section where it is, for a later add)."
echo "mine" >"$home/bin/TW-CLI-UI-OWN"
"$command" add OWN >/dev/null 2>&1
check "a file of the user's is left alone by add" test $? -eq 1 -a "$(cat "$home/bin/TW-CLI-UI-OWN")" = mine
"$command" remove OWN >/dev/null 2>&1
check "and by remove" test $? -eq 1 -a -f "$home/bin/TW-CLI-UI-OWN"
check "the refused commands left the store as it was" cmp "$store" "$home/store-before"
check "nothing but the store is left behind" test -z "$(find "$home/bin" "$home/share" "$home/config/autostart" -type f -o -type l | grep -v "TW-CLI-UI-OWN$")"
checks_done
