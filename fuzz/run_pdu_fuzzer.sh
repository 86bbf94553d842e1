#!/usr/bin/env bash
# Builds the PDU fuzzer with the `fuzz` preset and runs it from the public vectors.
# Usage: fuzz/run_pdu_fuzzer.sh [BUILD_DIR] [libFuzzer options...]
#   default BUILD_DIR build/fuzz, default options -runs=1000000
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/fuzz}
shift || true
options=("$@")
if [ ${#options[@]} -eq 0 ]; then
    options=(-runs=1000000)
fi

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target sms_pdu_fuzzer sms_pdu_seeds
corpus="$build/fuzz/corpus"
mkdir -p "$corpus"
"$build/fuzz/sms_pdu_seeds" "$corpus"
"$build/fuzz/sms_pdu_fuzzer" "${options[@]}" "$corpus"
