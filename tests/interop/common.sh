# Shared by the interop tests: a modemsim program on a symlinked pty with a control socket, in a
# fresh temporary folder that goes away with everything started here.
# Usage: . common.sh <modemsim program>; start_modemsim <scenario>; ctl <command>; ...
set -euo pipefail

MODEMSIM=$1
WORK=$(mktemp -d)
PIDS=()

# Each process started here gets a TERM, and a KILL when it is still there 5 s later.
stop_pid() {
    local pid=$1
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        stop_pid "$pid"
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
    MODEMSIM_PID=$!
    PIDS+=("$MODEMSIM_PID")
    wait_for "$WORK/modem" 5
    wait_for "$WORK/control" 5
}

# Stops the modemsim of start_modemsim, so that another scenario can start on the same paths.
stop_modemsim() {
    stop_pid "$MODEMSIM_PID"
    rm -f "$WORK/modem" "$WORK/control"
}

# Sets the variable named $1 to a TCP port on 127.0.0.1 that nothing answers on and that no
# earlier call gave.
PORTS=()
free_port() {
    local port
    for _ in $(seq 100); do
        port=$((20000 + RANDOM % 40000))
        case " ${PORTS[*]} " in *" $port "*) continue ;; esac
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            PORTS+=("$port")
            printf -v "$1" '%s' "$port"
            return 0
        fi
    done
    fail "no free port on 127.0.0.1"
}

# Waits until `command...` succeeds, at most `seconds`; fails with `what` otherwise.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    fail "$what within $seconds s"
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

# The simulator has handed its client one message (the loopback copy).
received() { [ "$(counter received)" = 1 ]; }

expect_in() {
    local what=$1 text=$2
    case "$text" in
    *"$what"*) ;;
    *) fail "expected '$what' in: $text" ;;
    esac
}
