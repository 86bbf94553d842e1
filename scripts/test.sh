#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in the default and the sanitizer
# preset. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh

for preset in default asan; do
    echo "== preset $preset =="
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
