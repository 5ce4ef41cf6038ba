#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite
# headless. ctest's summary is the last thing printed.
#
#   ./scripts/test.sh              the suite, built with Clang, in build-test/
#                                  (or $TW_BUILD_DIR)
#   ./scripts/test.sh --sanitize   the same suite built with AddressSanitizer
#                                  and UndefinedBehaviorSanitizer (leaks
#                                  included), in build-asan/ (or
#                                  $TW_SANITIZE_BUILD_DIR); any finding fails
#                                  its test. CI runs both.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=0
case "${1:-}" in
"") ;;
--sanitize) sanitize=1 ;;
-h | --help)
    sed -n '2,11p' "$0"
    exit 0
    ;;
*)
    echo "test.sh: unknown argument $1 (--sanitize, --help)" >&2
    exit 2
    ;;
esac

./scripts/install-deps.sh
if ((sanitize)); then
    build=${TW_SANITIZE_BUILD_DIR:-build-asan}
    if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_CXX_COMPILER:.*g++' "$build/CMakeCache.txt"; then
        rm -f "$build/CMakeCache.txt" # made with another compiler
    fi
    CC=gcc CXX=g++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTW_SANITIZE=ON >/dev/null
    # Every program the tests start (the panel, the demo node) is built the
    # same way and inherits these. A leak or an error ends a program with a
    # non-zero exit code; undefined behaviour is fatal (-fno-sanitize-recover).
    # Reports go to files, one per process, so that those of programs whose
    # output nobody reads (the demo client behind a batch file) are seen too.
    reports=$(cd "$build" && pwd)/sanitizer-reports
    rm -rf "$reports"
    mkdir -p "$reports"
    export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:halt_on_error=1:abort_on_error=0:log_path=$reports/asan
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
else
    # Clang here, GCC in the sanitizer build: warnings are errors with both.
    build=${TW_BUILD_DIR:-build-test}
    if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$build/CMakeCache.txt"; then
        rm -f "$build/CMakeCache.txt" # made with another compiler
    fi
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTW_SANITIZE=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
# The tests read the program's English texts and C numbers; the ones about
# other languages set their own.
export LC_ALL=C.UTF-8 LANGUAGE=
if ((sanitize)); then
    status=0
    ctest --test-dir "$build" --output-on-failure -j2 || status=$?
    if compgen -G "$reports/*" >/dev/null; then
        for report in "$reports"/*; do
            echo "---- $report"
            cat "$report"
        done
        echo "test.sh: sanitizer reports above (programs the tests ran); failed" >&2
        exit 1
    fi
    exit "$status"
fi
exec ctest --test-dir "$build" --output-on-failure -j2
