#!/usr/bin/env bash
# The setup program under Wine (WINEPREFIX set, an X server in DISPLAY, as
# scripts/test-windows.sh runs the tests), with the prefix's LOCALAPPDATA and
# Start menu Programs folder pointed at private folders for the run:
#
# - a silent install (/S) puts the program, the Windows README, the licence
#   and the manual with its pictures into LOCALAPPDATA\Programs\TW-CLI-UI,
#   a Start menu shortcut that starts the program there, and the Uninstall
#   entry with its values;
# - the installed program's --add-node makes TW-CLI-UI-BTC2.exe (a hard
#   link) and its shortcut, --list-nodes lists it, --node-autostart puts it
#   into the Run key, --remove-node takes all three away and leaves its
#   settings;
# - a second install over the first updates the nodes' programs with it;
# - while a panel runs, neither the setup program nor the uninstaller
#   touches a file;
# - the silent uninstall (the Uninstall entry's QuietUninstallString) takes
#   the program's folder, its shortcuts, a node's program, shortcut and Run
#   value and the Uninstall entry away, and leaves the settings written
#   before the install and the logs.
#
#   installer-windows.sh SETUP.EXE TW-TEST-WINDOW.EXE SOURCE-FOLDER VERSION
set -uo pipefail
setup=$1 tool=$2 source=$3 version=$4
work=$(mktemp -d)
# Shortcuts written under Wine make Linux menu entries unless its menu
# builder is off.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TW-CLI-UI'
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings='HKCU\Software\VB and VBA Program Settings\TW-CLI-UI'

win() { winepath -w "$1" 2>/dev/null; }
# value KEY NAME: the registry value's data as reg.exe shows it; status 1
# when there is none.
value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | grep .
}
failures=0
passed=0
check() { # check WHAT COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failures=$((failures + 1))
        echo "FAIL: $what" >&2
    fi
}
equal() { # equal WANT GOT
    [[ $1 == "$2" ]] || {
        echo "  want: $1" >&2
        echo "  got:  $2" >&2
        return 1
    }
}

# The prefix's own folders, the Uninstall entry and the Run values of an
# earlier run come back at the end, whatever happens between.
saved_local=$(value "$folders" "Local AppData")
saved_programs=$(value "$folders" "Programs")
wine reg export "$uninstall" "$(win "$work/uninstall.reg")" /y >/dev/null 2>&1 || true
panel_pid=
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    [[ -z $panel_pid ]] || kill -9 "$panel_pid" 2>/dev/null
    restore() {
        if [[ -n $2 ]]; then
            wine reg add "$folders" /v "$1" /t REG_EXPAND_SZ /d "$2" /f >/dev/null 2>&1
        else
            wine reg delete "$folders" /v "$1" /f >/dev/null 2>&1
        fi
    }
    restore "Local AppData" "$saved_local"
    restore Programs "$saved_programs"
    wine reg delete "$uninstall" /f >/dev/null 2>&1
    [[ ! -f $work/uninstall.reg ]] || wine reg import "$(win "$work/uninstall.reg")" >/dev/null 2>&1
    for name in TW-CLI-UI TW-CLI-UI-BTC2 TW-CLI-UI-BTC3; do
        wine reg delete "$run" /v "$name" /f >/dev/null 2>&1
        wine reg delete "$settings\\$name" /f >/dev/null 2>&1
    done
    rm -rf "$work"
}
trap cleanup EXIT

local_folder=$work/local
start_menu=$work/programs
mkdir -p "$local_folder" "$start_menu"
wine reg add "$folders" /v "Local AppData" /t REG_EXPAND_SZ /d "$(win "$local_folder")" /f >/dev/null
wine reg add "$folders" /v Programs /t REG_EXPAND_SZ /d "$(win "$start_menu")" /f >/dev/null
wine reg delete "$uninstall" /f >/dev/null 2>&1
for name in TW-CLI-UI TW-CLI-UI-BTC2 TW-CLI-UI-BTC3; do
    wine reg delete "$run" /v "$name" /f >/dev/null 2>&1
    wine reg delete "$settings\\$name" /f >/dev/null 2>&1
done
# Settings of two configurations, as a user's earlier runs left them.
for name in TW-CLI-UI TW-CLI-UI-BTC2; do
    wine reg add "$settings\\$name" /v CLI_NAME_TEXTBOX /t REG_SZ /d "kept $name" /f >/dev/null
done

# --- The silent install ---
wine "$setup" /S
check "the silent install ends with status 0" test $? -eq 0
program_folder=$local_folder/Programs/TW-CLI-UI
program=$program_folder/TW-CLI-UI.exe
shortcuts=$start_menu/TW-CLI-UI
documents=(MANUAL.md)
for picture in "$source"/docs/*.png; do
    documents+=("$(basename "$picture")")
done
for file in TW-CLI-UI.exe Uninstall.exe README.txt LICENSE.txt "${documents[@]}"; do
    check "installed: $file" test -s "$program_folder/$file"
done
check "the manual as in the sources" cmp "$source/docs/MANUAL.md" "$program_folder/MANUAL.md"
check "README.txt is the Windows README of this version, with CR LF" \
    grep -q $'^TW-CLI-UI '"$version"$' for Windows\r$' "$program_folder/README.txt"
check "README.txt has every line ended by CR LF" \
    test "$(grep -c $'\r$' "$program_folder/README.txt")" -eq "$(wc -l <"$program_folder/README.txt")"
check "the installed program runs" \
    equal "TW-CLI-UI $version" "$(wine "$program" --version 2>/dev/null | tr -d '\r')"

check "the installed program carries its icon (the shortcuts and the apps list show it)" \
    test "$(wine "$tool" icons "$(win "$program")" 2>/dev/null | tr -d '\r')" -ge 1

check "the Start menu shortcut is there" test -f "$shortcuts/TW-CLI-UI.lnk"
check "it starts the installed program in its folder" \
    equal "$(win "$program")"$'\n'"$(win "$program_folder")" \
    "$(wine "$tool" shortcut "$(win "$shortcuts/TW-CLI-UI.lnk")" 2>/dev/null | tr -d '\r')"

windows_folder=$(win "$program_folder")
for pair in "DisplayName=TW-CLI-UI" "DisplayVersion=$version" \
    "Publisher=The TW-CLI-UI contributors" \
    "UninstallString=\"$windows_folder\\Uninstall.exe\"" \
    "QuietUninstallString=\"$windows_folder\\Uninstall.exe\" /S" \
    "InstallLocation=$windows_folder" "DisplayIcon=$windows_folder\\TW-CLI-UI.exe" \
    "NoModify=0x1" "NoRepair=0x1"; do
    check "Uninstall entry: $pair" equal "${pair#*=}" "$(value "$uninstall" "${pair%%=*}")"
done
# EstimatedSize: the folder's files in KiB, as Windows shows it.
estimated=$(($(value "$uninstall" EstimatedSize)))
files_kib=$(find "$program_folder" -type f -printf '%s\n' | awk '{ sum += $1 } END { print int(sum / 1024) }')
check "EstimatedSize $estimated KiB is the files' $files_kib KiB" \
    test "$estimated" -ge $((files_kib - 16)) -a "$estimated" -le $((files_kib + 16))

# --- A node added and removed by the installed program ---
node=$program_folder/TW-CLI-UI-BTC2.exe
node_shortcut="$shortcuts/TW-CLI-UI – BTC2.lnk"
wine "$program" --add-node BTC2 >"$work/add.out" 2>&1
check "--add-node BTC2 ends with status 0" test $? -eq 0
check "TW-CLI-UI-BTC2.exe is a hard link of the program" \
    test "$(stat -c %i "$node" 2>/dev/null)" = "$(stat -c %i "$program")"
check "its shortcut starts it in the program's folder" \
    equal "$(win "$node")"$'\n'"$windows_folder" \
    "$(wine "$tool" shortcut "$(win "$node_shortcut")" 2>/dev/null | tr -d '\r')"
check "--list-nodes lists it" equal BTC2 "$(wine "$program" --list-nodes 2>/dev/null | tr -d '\r')"
wine "$program" --node-autostart BTC2 on >/dev/null 2>&1
check "--node-autostart BTC2 on: its Run value" \
    equal "\"$(win "$node")\"" "$(value "$run" TW-CLI-UI-BTC2)"
check "--list-nodes says it starts at login" \
    equal "BTC2 (starts at login)" "$(wine "$program" --list-nodes 2>/dev/null | tr -d '\r')"
wine "$program" --remove-node BTC2 >"$work/remove.out" 2>&1
check "--remove-node BTC2 ends with status 0" test $? -eq 0
check "its program is gone" test ! -e "$node"
check "its shortcut is gone" test ! -e "$node_shortcut"
check "its Run value is gone" test -z "$(value "$run" TW-CLI-UI-BTC2)"
check "its settings stay" equal "kept TW-CLI-UI-BTC2" "$(value "$settings\\TW-CLI-UI-BTC2" CLI_NAME_TEXTBOX)"
check "--list-nodes lists nothing" test -z "$(wine "$program" --list-nodes 2>/dev/null | tr -d '\r')"
wine "$program" --remove-node BTC2 >/dev/null 2>&1
check "a second --remove-node BTC2 ends with status 1" test $? -eq 1

# A node for the uninstaller, starting at login, and the program's own
# start at login as its tray menu writes it.
wine "$program" --add-node BTC3 >/dev/null 2>&1 &&
    wine "$program" --node-autostart BTC3 on >/dev/null 2>&1
wine reg add "$run" /v TW-CLI-UI /t REG_SZ /d "\"$(win "$program")\"" /f >/dev/null

# --- An update over it: written into the same file, the node's name with it ---
wine "$setup" /S
check "a second install ends with status 0" test $? -eq 0
check "the node's program is still a name of the program" \
    test "$(stat -c %i "$program_folder/TW-CLI-UI-BTC3.exe" 2>/dev/null)" = "$(stat -c %i "$program")"

# --- A running panel: nothing is touched ---
title="TARN-WICK - TW-CLI-UI - TW-CLI-UI-BTC3"
wine reg add "$settings\\TW-CLI-UI-BTC3" /v AlwaysOnTopTimer_TICKBOX /t REG_SZ /d 0 /f >/dev/null
wine "$program_folder/TW-CLI-UI-BTC3.exe" >"$work/panel.log" 2>&1 &
panel_pid=$!
if wine "$tool" wait "$title"; then
    listing() { find "$program_folder" "$shortcuts" -printf '%p %i %s\n' | sort; }
    before=$(listing)
    wine "$setup" /S
    check "the setup program gives up while a panel runs" test $? -ne 0
    # In place (_?=), so that the uninstaller's end can be waited for.
    wine "$program_folder/Uninstall.exe" /S "_?=$windows_folder"
    check "the uninstaller gives up while a panel runs" test $? -ne 0
    check "neither touched a file" equal "$before" "$(listing)"
    check "the Uninstall entry stays meanwhile" test -n "$(value "$uninstall" DisplayName)"
    check "the panel closes when asked" wine "$tool" close "$title"
else
    check "the node's panel shows its window" false
fi
wait "$panel_pid" 2>/dev/null
panel_pid=

# A log of the panel's, which the uninstaller leaves where it is.
mkdir -p "$local_folder/TW-CLI-UI"
echo "a diagnostics line" >"$local_folder/TW-CLI-UI/TW-CLI-UI-BTC2.log"

# --- The silent uninstall, as Windows runs it: it copies itself away and
# ends at once; the copy works on. ---
quiet=$(value "$uninstall" QuietUninstallString)
uninstaller=${quiet%\" *}
wine "$(winepath -u "${uninstaller#\"}" 2>/dev/null)" "${quiet##*\" }"
for _ in $(seq 120); do
    [[ -z $(value "$uninstall" DisplayName) && ! -e $program_folder ]] && break
    sleep 0.5
done
check "the Uninstall entry is gone" test -z "$(value "$uninstall" DisplayName)"
check "the program's folder is gone, the node's program with it" test ! -e "$program_folder"
check "the Start menu folder is gone, the node's shortcut with it" test ! -e "$shortcuts"
check "the node's Run value is gone" test -z "$(value "$run" TW-CLI-UI-BTC3)"
check "the program's own Run value is gone" test -z "$(value "$run" TW-CLI-UI)"
for name in TW-CLI-UI TW-CLI-UI-BTC2; do
    check "the settings of $name stay" \
        equal "kept $name" "$(value "$settings\\$name" CLI_NAME_TEXTBOX)"
done
check "the diagnostics logs stay" test -s "$local_folder/TW-CLI-UI/TW-CLI-UI-BTC2.log"

if ((failures > 0)); then
    for log in "$work"/*.out "$work/panel.log"; do
        [[ -f $log ]] && sed "s|^|$(basename "$log"): |" "$log" >&2
    done
fi
echo "$passed passed, $failures failed"
((failures == 0))
