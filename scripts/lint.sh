#!/usr/bin/env bash
# The style checks that CI runs beside the tests: clang-format over every
# C++ file git tracks, ShellCheck over every shell script.
#
#   ./scripts/lint.sh          check; exit 1 on any finding
#   ./scripts/lint.sh --fix    format the C++ files in place (the `format`
#                              target runs this too)
set -euo pipefail
cd "$(dirname "$0")/.."

fix=0
case "${1:-}" in
"") ;;
--fix) fix=1 ;;
-h | --help)
    sed -n '2,8p' "$0"
    exit 0
    ;;
*)
    echo "lint.sh: unknown argument $1 (--fix, --help)" >&2
    exit 2
    ;;
esac

./scripts/install-deps.sh >/dev/null

mapfile -t sources < <(git ls-files -- '*.cpp' '*.h')
if ((fix)); then
    clang-format -i "${sources[@]}"
    exit 0
fi

status=0
if ! clang-format --dry-run --Werror "${sources[@]}"; then
    echo "lint: clang-format would change the files above (./scripts/lint.sh --fix)" >&2
    status=1
fi

# Every shell script: the scripts, CI's own, the per-node command and the
# test scripts (by name, or by a shell on their first line).
mapfile -t scripts < <(
    git ls-files | while read -r file; do
        case "$file" in
        *.sh | .ci/run | packaging/tw-cli-ui-node) echo "$file" ;;
        *.cpp | *.h | *.md | *.png | *.svg | *.xml | *.txt | *.cmake) ;;
        *) head -n1 "$file" 2>/dev/null | grep -qE '^#!.*\b(ba|da)?sh\b' && echo "$file" ;;
        esac
    done
)
if ! shellcheck -x "${scripts[@]}"; then
    echo "lint: ShellCheck found the above" >&2
    status=1
fi
((status == 0)) && echo "lint: ${#sources[@]} C++ files formatted, ${#scripts[@]} shell scripts clean"
exit "$status"
