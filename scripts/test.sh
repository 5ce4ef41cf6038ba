#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite
# headless. ctest's summary is the last thing printed.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
build=${TW_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
exec ctest --test-dir "$build" --output-on-failure -j2
