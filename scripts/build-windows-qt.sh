#!/usr/bin/env bash
# Builds the static Qt 6 for 64-bit Windows that TW-CLI-UI.exe links, once,
# into the cache folder, with Debian's mingw-w64 and Debian's own qt6-base
# source (plus its security patches). Debian's host Qt (moc, rcc, uic of the
# same version) serves as the host tools. Later runs reuse the install; it is
# built again only when the recipe below changes.
#
#   scripts/build-windows-qt.sh          build if missing; print the install folder
#   scripts/build-windows-qt.sh --check  exit 0 when the install is there and
#                                        current, 1 when not (builds nothing)
#
# About 30 to 40 minutes on two cores; the install is about 100 MB. The
# cache folder is ${TW_WIN_CACHE:-${XDG_CACHE_HOME:-~/.cache}/tw-cli-ui}; the
# install remembers the toolchain file's path, so the folder stays where the
# build made it.
set -euo pipefail

cache=${TW_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tw-cli-ui}
qt_version=6.4.2
deb_version=6.4.2+dfsg-10
patches=(cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff cve-2023-24607.patch)
configure_args=(
    -static -static-runtime -release -platform linux-g++ -xplatform win32-g++
    -opengl no -no-vulkan -no-dbus -no-icu -no-zstd -no-glib
    -qt-zlib -qt-pcre -qt-libpng -qt-freetype -qt-harfbuzz -qt-doubleconversion -no-libjpeg
    -schannel -no-openssl -no-feature-sql -no-feature-xml -no-feature-concurrent
    -no-feature-printsupport -no-feature-tabletevent -no-feature-direct2d1_1
    -nomake examples -nomake tests
)
toolchain_text='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
'

recipe=$(printf '%s\n' "$deb_version" "${patches[@]}" "${configure_args[@]}" "$toolchain_text" |
    sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-win64-$recipe
toolchain=$cache/mingw-w64-x86_64.cmake

if [[ -f "$prefix/.complete" ]]; then
    [[ "${1:-}" == --check ]] && exit 0
    echo "$prefix"
    exit 0
fi
[[ "${1:-}" == --check ]] && exit 1

here=$(cd "$(dirname "$0")" && pwd)
"$here/install-deps.sh" --windows >&2

mkdir -p "$cache/src" "$cache/apt/lists/partial"
printf '%s' "$toolchain_text" >"$toolchain"

# The source package, through a source list of our own (the system's apt
# configuration is left alone).
apt_own=(-o "Dir::Etc::SourceList=$cache/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$cache/apt/lists" -o APT::Sandbox::User=root)
if [[ ! -f "$cache/src/qt6-base_$deb_version.dsc" ]]; then
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
        >"$cache/apt/sources.list"
    apt-get -q "${apt_own[@]}" update >&2
    (cd "$cache/src" && apt-get -q "${apt_own[@]}" source --download-only "qt6-base=$deb_version" >&2)
fi

work=$(mktemp -d "$cache/build.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "build-windows-qt: unpacking Qt $qt_version into $work" >&2
tar -xf "$cache/src/qt6-base_${deb_version%-*}.orig.tar.xz" -C "$work"
tar -xf "$cache/src/qt6-base_$deb_version.debian.tar.xz" -C "$work"
source_dir=$(find "$work" -maxdepth 1 -type d -name 'qtbase*' | head -n1)
for patch in "${patches[@]}"; do
    patch -d "$source_dir" -p1 --quiet <"$work/debian/patches/$patch"
done

mkdir -p "$work/build"
cd "$work/build"
echo "build-windows-qt: configuring (log in $work/build/config.log)" >&2
"$source_dir/configure" -prefix "$prefix" "${configure_args[@]}" -- \
    -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >&2
echo "build-windows-qt: building (about 30 to 40 minutes on two cores)" >&2
start=$(date +%s)
nice cmake --build . --parallel "$(nproc)" >&2
cmake --install . >/dev/null
touch "$prefix/.complete"
echo "build-windows-qt: built in $(($(date +%s) - start)) s; install $(du -sh "$prefix" | cut -f1)" >&2
echo "$prefix"
