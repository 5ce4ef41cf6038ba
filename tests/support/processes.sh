# shellcheck shell=bash
# Sourced by the tests that start the real panel as a process (on Linux, or
# under Wine): the processes they started, the failures they counted, and
# waiting for a process to end. Set `label` (the name the failure lines
# start with) before sourcing; call kill_started from the EXIT trap.
#
# The small checks are run through until_true, which ShellCheck does not
# follow.
# shellcheck disable=SC2317

pids=()
failures=0

# kill_started: every process started and not yet waited for.
kill_started() {
    local pid
    for pid in "${pids[@]}"; do
        kill -9 "$pid" 2>/dev/null || true
        { wait "$pid"; } 2>/dev/null || true
    done
}

# forget PID: a process that has ended and been waited for; its number may
# soon be another process's, which the cleanup must not kill.
forget() {
    local pid kept=()
    for pid in "${pids[@]}"; do
        [[ $pid == "$1" ]] || kept+=("$pid")
    done
    pids=("${kept[@]}")
}

# shellcheck disable=SC2154 # label is the sourcing script's
fail() {
    echo "$label: $*" >&2
    failures=$((failures + 1))
}

# until_true TRIES COMMAND...: runs COMMAND every 0.1 s until it succeeds.
until_true() {
    local tries=$1
    shift
    until "$@"; do
        tries=$((tries - 1))
        ((tries > 0)) || return 1
        sleep 0.1
    done
}

# ended PID: no such process, or one that has ended and waits to be reaped
# (a zombie).
ended() {
    local state
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || true
    [[ -z $state || $state == Z || $state == X ]]
}

# finish PID WANT: waits up to 60 s for the process to end with status WANT
# ("any": whatever its status).
finish() {
    local pid=$1 want=$2 status=0
    if ! until_true 600 ended "$pid"; then
        fail "the panel $pid did not end"
        kill -9 "$pid"
    fi
    wait "$pid" || status=$?
    forget "$pid"
    [[ $want == any || $status == "$want" ]] ||
        fail "the panel $pid ended with status $status (want $want)"
}
