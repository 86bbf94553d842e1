# Shared by the interop tests: a modemsim program on a symlinked pty with a control socket, in a
# fresh temporary folder that goes away with everything started here.
# Usage: . common.sh <modemsim program>; start_modemsim <scenario>; ctl <command>; ...
set -euo pipefail

MODEMSIM=$1
WORK=$(mktemp -d)
PIDS=()

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The programs a test drives; Debian packages that scripts/install-deps.sh installs.
need() {
    local program
    for program in "$@"; do
        command -v "$program" >/dev/null || fail "$program is missing: run scripts/install-deps.sh"
    done
}

# Waits until the path exists (the program publishes its link, smsd its files).
wait_for() {
    local path=$1 seconds=$2
    for _ in $(seq $((seconds * 10))); do
        [ -e "$path" ] && return 0
        sleep 0.1
    done
    fail "$path did not appear within $seconds s"
}

start_modemsim() {
    "$MODEMSIM" --scenario "$1" --link "$WORK/modem" --control "$WORK/control" \
        --trace "$WORK/trace" >"$WORK/modemsim.out" 2>&1 &
    PIDS+=($!)
    wait_for "$WORK/modem" 5
    wait_for "$WORK/control" 5
}

# One control command; prints the reply, fails unless it ends in OK.
ctl() {
    local reply
    reply=$(printf '%s\n' "$1" | socat -t 2 - "UNIX-CONNECT:$WORK/control")
    case "$reply" in
    *OK) printf '%s\n' "$reply" ;;
    *) fail "control '$1' answered: $reply" ;;
    esac
}

# The value of one counter of the simulator's `status`.
counter() {
    ctl status | awk -v name="$1" '$1 == name { print $2 }'
}

expect_in() {
    local what=$1 text=$2
    case "$text" in
    *"$what"*) ;;
    *) fail "expected '$what' in: $text" ;;
    esac
}
