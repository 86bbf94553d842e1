#!/usr/bin/env bash
# Installs what is missing, builds the console, the service library and the simulator (default
# preset), starts the simulated modem (modemsim, demo scenario) and opens the console on it: port
# COM1 is the simulator's terminal (KELBRIN_COM1), so the defaults "COM1" and "115200" just work.
# The simulator stops when the console closes (or on Ctrl-C). BUILD_DIR picks another build tree
# of the default preset (default: build/default).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build/default}
bin_dir="$build_dir/bin"
scripts/install-deps.sh
cmake --preset default -B "$build_dir"
cmake --build "$build_dir" --target vantrel kelbrin modemsim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<MSG
run: the console is built ($bin_dir/vantrel), but this session has no display
(neither DISPLAY nor WAYLAND_DISPLAY is set), so no window can open here. Either
  - log in with X forwarding (ssh -X host) and run scripts/run.sh again, or
  - run it on a virtual screen: xvfb-run -a scripts/run.sh
    (scripts/screenshots.sh shows what it looks like there).
MSG
    exit 2
fi

# The simulator's terminal is published as a link in a directory of our own.
run_dir=$(mktemp -d)
modem_link="$run_dir/modem"
simulator_pid=""
stop_simulator() {
    if [ -n "$simulator_pid" ]; then
        kill "$simulator_pid" 2>/dev/null || true
        wait "$simulator_pid" 2>/dev/null || true
        simulator_pid=""
    fi
    rm -rf "$run_dir"
}
trap stop_simulator EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

"$bin_dir/modemsim" --scenario demo --link "$modem_link" &
simulator_pid=$!
for _ in $(seq 100); do
    [ -L "$modem_link" ] && break
    if ! kill -0 "$simulator_pid" 2>/dev/null; then
        echo "run: the simulated modem (modemsim) did not start" >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -L "$modem_link" ]; then
    echo "run: the simulated modem did not publish $modem_link within 10 s" >&2
    exit 1
fi

echo "run: simulated modem on COM1 ($modem_link); press Start, then Send to +15550100 and it comes back"
KELBRIN_COM1="$modem_link" "$bin_dir/vantrel"
