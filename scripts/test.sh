#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test in the default preset, in the release
# preset (-O2, the build the package is made from; the package is made and its unpacked contents
# are checked too) and in the sanitizer preset, and the library's tests under ThreadSanitizer (the
# library has a worker thread), with the fuzz targets' stored inputs. Exits non-zero on the first
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh

echo "== preset default =="
cmake --preset default
cmake --build --preset default
ctest --preset default

# The interop tests run Debian's gammu and smsd against modemsim: once, in the default preset, is
# enough.
echo "== preset release, and the package =="
scripts/package.sh build/release
cmake --build --preset release
ctest --preset release -LE interop

echo "== preset asan =="
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -LE interop

echo "== preset tsan (libkelbrin) =="
cmake --preset tsan
cmake --build --preset tsan --target kelbrin_unit_tests kelbrin_integration_tests kelbrin_console_tests \
    kelbrin_ports_tests at_reader_replay sms_pdu_replay
ctest --preset tsan -R '^(kelbrin|fuzz)\.'
