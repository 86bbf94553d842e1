#!/usr/bin/env bash
# Builds the Debian package of the console, libkelbrin and modemsim (installed under /usr) into
# build/default, or into the build folder given as the argument, and prints its path.
# Install it with: sudo apt-get install ./build/default/vantrel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/default}

scripts/install-deps.sh
# The /usr prefix makes GNUInstallDirs choose the multiarch libdir the package installs into.
cmake --preset default -B "$build_dir" -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$build_dir" --target vantrel kelbrin modemsim
cpack --config "$build_dir/CPackConfig.cmake" -B "$build_dir"
