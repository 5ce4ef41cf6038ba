#!/usr/bin/env bash
# Builds the Debian package of TW-CLI-UI:
#
#   ./scripts/package-deb.sh [--no-deps]
#
# Installs what is missing, builds the program (Release) in build-deb/ (or
# $TW_DEB_BUILD_DIR) and writes build-deb/tw-cli-ui_<version>_<arch>.deb,
# then checks it with lintian. Install it with
#
#   sudo apt install ./build-deb/tw-cli-ui_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
[[ "${1:-}" == --no-deps ]] || ./scripts/install-deps.sh
build=${TW_DEB_BUILD_DIR:-build-deb}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB)
# shellcheck disable=SC2012 # cpack's own file names: no blanks or line breaks
deb=$(ls -t "$build"/tw-cli-ui_*.deb | head -n 1)
# shellcheck disable=SC2054 # lintian's own list: "error,warning" is one argument
lintian_options=(--fail-on error,warning)
[[ "$(id -u)" == 0 ]] && lintian_options+=(--allow-root)
lintian "${lintian_options[@]}" "$deb"
echo "package-deb: $deb"
