#!/usr/bin/env bash
# Builds for Windows (scripts/build-windows.sh) and runs the Windows tests
# under Wine: the Win32 cores and the platform adapters against the real
# system calls (registry, cmd.exe, Toolhelp32, files, SetWindowPos, on a
# private X server for the windows), then one end-to-end run of the real
# TW-CLI-UI.exe against the demo node's .exe programs.
#
#   ./scripts/test-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/build-windows.sh
build=$(cd "${TW_WIN_BUILD_DIR:-build-win64}" && pwd)
cache=${TW_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tw-cli-ui}

export WINEPREFIX=${TW_WINEPREFIX:-$cache/wine}
export WINEDEBUG=-all
# The tests read the program's English: Wine gives the Windows user the
# language and locale of these.
export LC_ALL=C.UTF-8 LANGUAGE=
# Qt Test's output on stderr, not the debugger channel.
export WINEQT_FORCE_STDERR_LOGGING=1
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "test-windows: making a Wine prefix in $WINEPREFIX (about 20 s)"
    wineboot -i >/dev/null 2>&1
fi

# Windows has Arial and MS Sans Serif, which the windows are laid out for;
# a Wine prefix has neither, so it is pointed at their metric twins.
for face in Arial "Arial Black" "MS Sans Serif" "Microsoft Sans Serif"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
        /d "Liberation Sans" /f >/dev/null 2>&1
done
# Those ran without an X server: their Wine desktop has no display, and a
# program started while it lasts gets no windows. Let it end first.
wineserver -w

status=0
xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir "$build" --output-on-failure || status=$?
xvfb-run -a -s "-screen 0 1280x1024x24" ./scripts/e2e-windows.sh "$build" || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
