#!/usr/bin/env bash
# Builds the Debian package of the console, libkelbrin and modemsim (installed under /usr) from the
# release preset (-O2, with debug information) into build/release, or into the build folder given
# as the argument, with its debug symbols in vantrel-dbgsym_<version>_<arch>.ddeb beside it.
# Install it with: sudo apt-get install ./build/release/vantrel_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build/release}

scripts/install-deps.sh
# The /usr prefix makes GNUInstallDirs choose the multiarch libdir the package installs into.
cmake --preset release -B "$build_dir" -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$build_dir" --target vantrel kelbrin modemsim kelbrin-ports compressed_docs
cpack --config "$build_dir/CPackConfig.cmake" -B "$build_dir"

# CPack 3.25 writes the .ddeb's md5sums with the absolute paths of its staging folder, and gives
# it no doc folder. Repacked as dh_strip makes one: relative paths, and
# /usr/share/doc/<package>-dbgsym a link to the package's own doc folder.
for ddeb in "$build_dir"/*-dbgsym_*.ddeb; do
    unpacked=$(mktemp -d)
    dpkg-deb -R "$ddeb" "$unpacked"
    sed -i 's|  /.*/usr/lib/debug/|  usr/lib/debug/|' "$unpacked/DEBIAN/md5sums"
    package=$(dpkg-deb -f "$ddeb" Package)
    mkdir -p "$unpacked/usr/share/doc"
    ln -sfn "${package%-dbgsym}" "$unpacked/usr/share/doc/$package"
    dpkg-deb --root-owner-group -b "$unpacked" "$ddeb" >/dev/null
    rm -rf "$unpacked"
done
ls -l "$build_dir"/*.deb "$build_dir"/*.ddeb
