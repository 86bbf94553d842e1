#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in the default and the sanitizer
# preset, and the library's tests under ThreadSanitizer (the library has a worker thread).
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh

for preset in default asan; do
    echo "== preset $preset =="
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    # The interop tests run Debian's gammu and smsd against modemsim: once is enough.
    if [ "$preset" = default ]; then
        ctest --preset "$preset"
    else
        ctest --preset "$preset" -LE interop
    fi
done

echo "== preset tsan (libkelbrin) =="
cmake --preset tsan
cmake --build --preset tsan --target kelbrin_unit_tests kelbrin_integration_tests kelbrin_console_tests
ctest --preset tsan -R '^kelbrin\.'
