#!/usr/bin/env bash
# Builds TW-CLI-UI for 64-bit Windows on this Debian machine: installs what is
# missing (mingw-w64, Wine, NSIS), builds the static cross Qt once into the
# cache (scripts/build-windows-qt.sh), then TW-CLI-UI.exe (one static file,
# no DLLs beside it), the demo node's programs as .exe, the Windows tests,
# the setup program TW-CLI-UI-<version>-setup.exe (makensis, by the build:
# packaging/windows/Installer.cmake) and TW-CLI-UI-<version>-win64.zip (the
# program, the Windows README, the licence, the manual with its pictures).
#
#   ./scripts/build-windows.sh     build folder build-win64/ (or $TW_WIN_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --windows
qt=$(./scripts/build-windows-qt.sh)
build=${TW_WIN_BUILD_DIR:-build-win64}

# A build folder made against another Qt (the recipe changed) starts
# afresh: CMake keeps the toolchain of its first configure.
if [[ -f "$build/CMakeCache.txt" ]] && ! grep -qxF "Qt6_DIR:PATH=$qt/lib/cmake/Qt6" "$build/CMakeCache.txt"; then
    echo "build-windows: $build was made against another Qt; starting it afresh" >&2
    rm -rf "$build"
fi

# Qt's own toolchain file (it chains the mingw-w64 one of the cache); Wine
# runs what the tests start, so ctest works as it does on Linux.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
cmake --build "$build" -j"$(nproc)"

version=$(sed -n 's/^project(TW-CLI-UI VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package=$build/TW-CLI-UI-$version-win64
rm -rf "$package" "$package.zip"
mkdir -p "$package"
x86_64-w64-mingw32-strip -o "$package/TW-CLI-UI.exe" "$build/bin/TW-CLI-UI.exe"
# The Windows README and the licence as the build made them for Notepad
# (CR LF, the version filled in), the same the setup program installs.
cp "$build/packaging/windows/README.txt" "$build/packaging/windows/LICENSE.txt" "$package/"
# The manual and its pictures, side by side as the manual links them.
cp docs/MANUAL.md docs/*.png "$package/"
(cd "$build" && zip -q -r "$(basename "$package").zip" "$(basename "$package")")
echo "build-windows: $package.zip ($(du -h "$package/TW-CLI-UI.exe" | cut -f1) program)"
setup=$build/TW-CLI-UI-$version-setup.exe
if [[ ! -f $setup ]]; then
    echo "build-windows: no $setup: makensis missing? (Debian's nsis)" >&2
    exit 1
fi
echo "build-windows: $setup ($(du -h "$setup" | cut -f1))"
