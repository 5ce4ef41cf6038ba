#!/usr/bin/env bash
# Builds bench_process_table and runs it: the process watcher's check
# (ProcProcessTable::countByImageName) against a bare pass over /proc (one
# readlink of PID/exe per process), at about 100 and about 2000 processes
# (sleeping children of the benchmark, killed at the end), with
# `pgrep -x -i NAME` and the check as a whole process beside it. Prints a
# small table per run.
#
#   ./scripts/bench-process-check.sh [--build DIR] [--root-only] [-- BENCH OPTIONS]
#
#   --build DIR    build folder (default build-bench/, or $TW_BENCH_BUILD_DIR)
#   --root-only    as root, skip the second run as uid 65534
#   BENCH OPTIONS  passed on: --levels 100,2000  --runs 300  --spawns 30  NAME
#
# Run as root, it measures twice: as root, to whom every executable link but
# a few is readable, and as uid 65534 (setpriv), to whom the executable
# links of root's processes and of every kernel thread are refused, as on a
# desktop for its user.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${TW_BENCH_BUILD_DIR:-$root/build-bench}
unprivileged=1
bench_args=()

die() {
    echo "bench-process-check: $*" >&2
    exit 1
}

while (($# > 0)); do
    case "$1" in
    --build)
        build=${2:?--build needs a folder}
        shift
        ;;
    --root-only) unprivileged=0 ;;
    -h | --help)
        sed -n '2,18p' "$0"
        exit 0
        ;;
    --)
        shift
        bench_args=("$@")
        break
        ;;
    *) die "unknown argument $1 (bench options go after --)" ;;
    esac
    shift
done

cd "$root"
./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target bench_process_table -j2 >/dev/null ||
    die "the build failed: cmake --build $build --target bench_process_table"
bench=$(cd "$build/bench" && pwd)/bench_process_table
command -v pgrep >/dev/null || echo "bench-process-check: no pgrep (Debian: procps): no pgrep column" >&2

echo "machine: $(nproc) cores, kernel $(uname -r)"
echo
echo "== as uid $(id -u)"
"$bench" "${bench_args[@]}"
if [[ "$(id -u)" == 0 && "$unprivileged" == 1 ]]; then
    if command -v setpriv >/dev/null; then
        echo
        echo "== as uid 65534 (kernel threads and root's processes refused)"
        setpriv --reuid=65534 --regid=65534 --clear-groups "$bench" "${bench_args[@]}"
    else
        echo "bench-process-check: no setpriv (Debian: util-linux): no run as uid 65534" >&2
    fi
fi
