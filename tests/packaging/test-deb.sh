#!/usr/bin/env bash
# The Debian package as a user's machine sees it: cpack builds it from the
# build folder, lintian finds no error and no warning, the menu entry and
# the metainfo inside it validate, it holds what an installed program needs,
# and the program unpacked from it shows its window on a private X server
# and closes when asked, with a temporary store. Prints "N passed, N failed".
#
#   test-deb.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/packaging/checks.sh
. "$(dirname "$0")/checks.sh"

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "0 passed, 1 failed (cpack)"
    exit 1
fi
version=$(sed -n 's/^project(TW-CLI-UI VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
deb="$work/package/tw-cli-ui_${version}_$(dpkg --print-architecture).deb"
check "cpack wrote $(basename "$deb")" test -f "$deb"

# Everything lintian says is printed; any error or warning fails.
# shellcheck disable=SC2054 # lintian's own list: "error,warning" is one argument
lintian_options=(--fail-on error,warning --display-info --tag-display-limit 0)
[[ "$(id -u)" == 0 ]] && lintian_options+=(--allow-root)
check "lintian is clean" lintian "${lintian_options[@]}" "$deb"
lintian "${lintian_options[@]}" "$deb" 2>&1 | sed 's/^/lintian: /'

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
check "depends on Qt Widgets (from dpkg-shlibdeps)" grep -q "libqt6widgets6" <<<"$depends"
check "depends on the caption fonts" grep -q "fonts-liberation" <<<"$depends"
for field in Section Priority Maintainer Homepage Description; do
    check "has $field" test -n "$(dpkg-deb -f "$deb" "$field")"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
app=io.github.tw_cli_ui.TWCLIUI
check "menu entry validates" desktop-file-validate "$root/usr/share/applications/$app.desktop"
check "metainfo validates" appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml"
for file in usr/bin/TW-CLI-UI usr/bin/tw-cli-ui-node \
    usr/share/icons/hicolor/scalable/apps/$app.svg \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/$app.png \
    usr/share/man/man1/TW-CLI-UI.1.gz usr/share/man/man1/tw-cli-ui-node.1.gz \
    usr/share/doc/tw-cli-ui/copyright usr/share/doc/tw-cli-ui/changelog.gz \
    usr/share/doc/tw-cli-ui/README.md usr/share/doc/tw-cli-ui/MANUAL.md; do
    check "holds /$file" test -s "$root/$file"
done
check "no demo program in it" test -z "$(find "$root" -name 'twdemo*')"

# The unpacked program, with a store of its own in a temporary home.
home=$work/home
mkdir -p "$home"
check "the unpacked program shows its window and closes when asked" \
    env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
    "$source/tests/support/run-under-xvfb.sh" \
    "$source/tests/packaging/show-and-close.sh" "TARN-WICK - TW-CLI-UI - TW-CLI-UI" \
    "$root/usr/bin/TW-CLI-UI"
# Closing saves the window's place in the temporary store.
check "its close wrote the temporary store" grep -q "^MainLeft=" "$home/config/TW-CLI-UI/TW-CLI-UI.ini"

checks_done
