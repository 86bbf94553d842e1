#!/usr/bin/env bash
# Builds a libFuzzer target with the `fuzz` preset (clang) and runs it from its seed corpus and the
# inputs that once crashed it (fuzz/crashes/). An input that crashes it now is written as
# crash-<sha1> at the top of the tree: fix the fault and keep the input (fuzz/crashes/README.md).
# Usage: scripts/fuzz.sh pdu|at-reader [BUILD_DIR] [libFuzzer options...]
#   pdu        the SMS PDU decoders, seeded with the public test vectors
#   at-reader  the library's AT reader, seeded with modem transcripts
#   default BUILD_DIR build/fuzz, default options -runs=1000000
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-}
build=${2:-build/fuzz}
shift 2 || shift $# || true
options=("$@")
if [ ${#options[@]} -eq 0 ]; then
    options=(-runs=1000000)
fi

cmake --preset fuzz -B "$build" >/dev/null
case "$target" in
pdu)
    cmake --build "$build" --target sms_pdu_fuzzer sms_pdu_seeds
    corpus="$build/fuzz/corpus"
    mkdir -p "$corpus"
    "$build/fuzz/sms_pdu_seeds" "$corpus"
    fuzzer="$build/fuzz/sms_pdu_fuzzer"
    crashes=fuzz/crashes/pdu
    ;;
at-reader)
    cmake --build "$build" --target at_reader_fuzzer
    corpus="$build/kelbrin/fuzz/corpus"
    mkdir -p "$corpus"
    cp kelbrin/fuzz/seeds/* "$corpus/"
    fuzzer="$build/kelbrin/fuzz/at_reader_fuzzer"
    crashes=fuzz/crashes/at-reader
    ;;
*)
    echo "usage: scripts/fuzz.sh pdu|at-reader [BUILD_DIR] [libFuzzer options...]" >&2
    exit 2
    ;;
esac
if [ -d "$crashes" ]; then
    cp "$crashes"/* "$corpus/"
fi
"$fuzzer" "${options[@]}" "$corpus"
