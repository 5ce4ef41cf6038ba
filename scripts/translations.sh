#!/usr/bin/env bash
# The program's translations (translations/TW-CLI-UI_<language>.ts) against
# its sources, with Qt's own lupdate and lrelease (qt6-l10n-tools).
#
#   ./scripts/translations.sh update   takes new and changed texts of the
#                                      sources into every .ts file (new ones
#                                      unfinished), drops texts the sources
#                                      no longer have
#   ./scripts/translations.sh check    fails unless every .ts file holds
#                                      exactly the sources' texts, each one
#                                      translated and finished
#
# TW_LUPDATE and TW_LRELEASE name the tools (the build passes the ones it
# found); otherwise Debian's /usr/lib/qt6/bin, then PATH.
set -euo pipefail
cd "$(dirname "$0")/.."

tool() {
    local name=$1 variable=$2
    if [[ -n "${!variable:-}" ]]; then
        echo "${!variable}"
    elif [[ -x /usr/lib/qt6/bin/$name ]]; then
        echo "/usr/lib/qt6/bin/$name"
    else
        command -v "$name" || {
            echo "translations: $name not found: install qt6-l10n-tools" >&2
            exit 1
        }
    fi
}
lupdate=$(tool lupdate TW_LUPDATE)
lrelease=$(tool lrelease TW_LRELEASE)

# The program's own sources; the tests, the demo node and the benchmarks
# show nothing to a user. No line numbers in the .ts files, so that a change
# elsewhere in a source leaves them alone.
sources=(app automation check fleet health node panel platform poll settings main.cpp)
options=(-silent -locations none -no-obsolete -extensions "cpp,h")

# lupdate's own parser does not know `namespace tw::app {`: it says so for
# every class there and names each context by the class alone, which the
# program's translator expects (app/Translations.cpp). Those remarks are
# left out; anything else it says is shown.
run_lupdate() {
    local status=0
    "$lupdate" "${options[@]}" "${sources[@]}" -ts "$@" >"$work/lupdate.log" 2>&1 || status=$?
    grep -v -e 'Qualifying with unknown namespace/class' \
        -e 'Ignoring definition of undeclared qualified class' "$work/lupdate.log" >&2 || true
    return "$status"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "${1:-}" in
update)
    run_lupdate translations/TW-CLI-UI_*.ts
    ;;
check)
    status=0
    for ts in translations/TW-CLI-UI_*.ts; do
        copy=$work/$(basename "$ts")
        cp "$ts" "$copy"
        run_lupdate "$copy"
        if ! diff -u "$ts" "$copy" >"$work/diff"; then
            echo "translations: $ts does not hold the sources' texts as they are now" \
                "(run ./scripts/translations.sh update, then translate):" >&2
            cat "$work/diff" >&2
            status=1
        fi
        # lrelease counts what a build would leave in English.
        report=$("$lrelease" "$copy" -qm "$work/out.qm" 2>&1)
        echo "$report"
        if ! grep -q ' 0 unfinished)' <<<"$report" || grep -qi 'untranslated' <<<"$report"; then
            echo "translations: $ts has unfinished or untranslated texts" >&2
            status=1
        fi
    done
    exit "$status"
    ;;
*)
    sed -n '2,15p' "$0"
    exit 2
    ;;
esac
