#!/usr/bin/env bash
# Builds the AT reader fuzzer with the `fuzz` preset and runs it from the seed transcripts.
# Usage: kelbrin/fuzz/run_at_reader_fuzzer.sh [BUILD_DIR] [libFuzzer options...]
#   default BUILD_DIR build/fuzz, default options -runs=1000000
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build/fuzz}
shift || true
options=("$@")
if [ ${#options[@]} -eq 0 ]; then
    options=(-runs=1000000)
fi

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target at_reader_fuzzer
corpus="$build/kelbrin/fuzz/corpus"
mkdir -p "$corpus"
cp kelbrin/fuzz/seeds/* "$corpus/"
"$build/kelbrin/fuzz/at_reader_fuzzer" "${options[@]}" "$corpus"
