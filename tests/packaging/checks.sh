# shellcheck shell=bash
# Sourced by the packaging tests (bash): check WHAT COMMAND... runs COMMAND,
# counts it as passed or failed and, when it failed, says WHAT and shows
# what COMMAND printed; checks_done prints "N passed, N failed" and fails
# when any check did.
passed=0
failed=0

check() { # check WHAT COMMAND...
    local what=$1 output
    shift
    if output=$("$@" 2>&1); then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what" >&2
        [ -z "$output" ] || echo "$output" >&2
    fi
}

checks_done() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
