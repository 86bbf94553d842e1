#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a user of the installed tree gets.
#   tree     the exact set of files and links, the icons' sizes, the desktop entry, the
#            installed simulator starting on the installed demo scenario, and kelbrin-ports
#            with its manual page
#   console  the installed console, started through bin/vantrel with nothing on the search path,
#            loads the installed libkelbrin.so (RUNPATH $ORIGIN of the resolved executable)
#   package  the same checks on the contents of the build's Debian package (scripts/package.sh),
#            unpacked away from the build tree, and its binaries' hardening (hardening-check);
#            skipped when the build folder holds no package
#
# usage: install_test.sh tree|console|package CMAKE BUILD_DIR BINDIR LIBDIR INCLUDEDIR DATADIR
set -uo pipefail

mode=$1 cmake_command=$2 build_dir=$3 bindir=$4 libdir=$5 includedir=$6 datadir=$7
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

stage=$(realpath "$(mktemp -d)")
prefix=$stage/usr
children=()
cleanup() {
    for pid in "${children[@]}"; do kill "$pid" 2>/dev/null; done
    rm -rf "$stage"
}
trap cleanup EXIT

# Waits up to 20 s for a line matching $2 in file $1, while process $3 is alive.
wait_for_line() {
    local file=$1 pattern=$2 pid=$3
    for _ in $(seq 200); do
        grep -q -- "$pattern" "$file" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

check_tree() {
    # Every file and link, nothing else (no tests, benchmarks or GoogleTest).
    local expected actual
    expected=$(sort <<LAYOUT
$bindir/kelbrin-ports
$bindir/modemsim
$bindir/vantrel -> $(realpath -m --relative-to="$bindir" "$libdir/vantrel/vantrel")
$includedir/kelbrin.h
$libdir/libkelbrin.so.1 -> libkelbrin.so.1.0.0
$libdir/libkelbrin.so.1.0.0
$libdir/vantrel/libkelbrin.so -> ../libkelbrin.so.1
$libdir/vantrel/vantrel
$datadir/applications/vantrel.desktop
$datadir/doc/vantrel/changelog.gz
$datadir/doc/vantrel/copyright
$datadir/icons/hicolor/128x128/apps/vantrel.png
$datadir/icons/hicolor/16x16/apps/vantrel.png
$datadir/icons/hicolor/32x32/apps/vantrel.png
$datadir/icons/hicolor/48x48/apps/vantrel.png
$datadir/icons/hicolor/64x64/apps/vantrel.png
$datadir/lintian/overrides/vantrel
$datadir/man/man1/kelbrin-ports.1.gz
$datadir/man/man1/modemsim.1.gz
$datadir/man/man1/vantrel.1.gz
$datadir/man/zh_CN/man1/kelbrin-ports.1.gz
$datadir/modemsim/demo.scenario
LAYOUT
    )
    actual=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort | while read -r f; do
        if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"; else echo "$f"; fi
    done)
    if [ "$actual" != "$expected" ]; then
        fail "installed files differ from the expected layout (< expected, > installed):"
        diff <(echo "$expected") <(echo "$actual")
    fi
    for program in "$bindir/kelbrin-ports" "$bindir/modemsim" "$libdir/vantrel/vantrel"; do
        [ -x "$prefix/$program" ] || fail "$program is not executable"
    done
}

check_icons() {
    # Each PNG's size (IHDR width and height) matches its hicolor folder.
    local png folder width height
    for png in "$prefix/$datadir"/icons/hicolor/*/apps/vantrel.png; do
        folder=$(basename "$(dirname "$(dirname "$png")")")
        read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
            awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
        [ "${width}x${height}" = "$folder" ] || fail "$png is ${width}x${height}"
    done
}

check_desktop_entry() {
    # Valid, and its Exec and Icon name what is installed.
    local desktop=$prefix/$datadir/applications/vantrel.desktop exec_command icon
    if ! command -v desktop-file-validate >/dev/null; then
        fail "desktop-file-validate missing (scripts/install-deps.sh installs desktop-file-utils)"
    elif ! desktop-file-validate "$desktop"; then
        fail "desktop-file-validate rejects $desktop"
    fi
    exec_command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    if [ -z "$exec_command" ] || [ ! -x "$prefix/$bindir/$exec_command" ]; then
        fail "Exec=$exec_command is not an installed program in $bindir"
    fi
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    if [ -z "$icon" ] || [ ! -f "$prefix/$datadir/icons/hicolor/48x48/apps/$icon.png" ]; then
        fail "Icon=$icon has no installed hicolor icon"
    fi
}

check_ports_command() {
    # The installed kelbrin-ports runs on its own and its manual pages render without warnings,
    # the Chinese one as UTF-8 on a terminal, as man shows it.
    local help warnings
    help=$("$prefix/$bindir/kelbrin-ports" --help) || fail "kelbrin-ports --help failed"
    grep -q "kelbrin-ports assign COM<N>" <<<"$help" || fail "kelbrin-ports --help: $help"
    warnings=$(zcat "$prefix/$datadir/man/man1/kelbrin-ports.1.gz" | groff -man -ww -z 2>&1) ||
        fail "groff could not render kelbrin-ports.1"
    [ -z "$warnings" ] || fail "kelbrin-ports.1: $warnings"
    warnings=$(zcat "$prefix/$datadir/man/zh_CN/man1/kelbrin-ports.1.gz" |
        groff -man -Kutf8 -Tutf8 -ww -z 2>&1) || fail "groff could not render zh_CN/kelbrin-ports.1"
    [ -z "$warnings" ] || fail "zh_CN/kelbrin-ports.1: $warnings"
}

check_simulator() {
    # The installed simulator starts on the installed demo scenario and stops on SIGTERM.
    local log=$stage/modemsim.stdout simulator
    "$prefix/$bindir/modemsim" --scenario "$prefix/$datadir/modemsim/demo.scenario" >"$log" 2>&1 &
    simulator=$!
    children+=("$simulator")
    if wait_for_line "$log" "^/dev/pts/" "$simulator"; then
        kill -TERM "$simulator"
        wait "$simulator" || fail "modemsim did not stop cleanly on SIGTERM"
    else
        fail "the installed modemsim did not start on the installed demo scenario:"
        cat "$log"
    fi
}

check_console_startup() {
    # The dynamic loader names the file of every library it initialises and, on a failed
    # search, where it looked; only RUNPATH $ORIGIN of the resolved executable leads to the
    # private folder.
    local log=$stage/console.stderr console loaded
    local expected_library=$prefix/$libdir/vantrel/libkelbrin.so
    env -u LD_LIBRARY_PATH -u LD_PRELOAD QT_QPA_PLATFORM=offscreen LD_DEBUG=libs,files \
        "$prefix/$bindir/vantrel" 2>"$log" >/dev/null &
    console=$!
    children+=("$console")
    if wait_for_line "$log" "calling init: .*libkelbrin" "$console"; then
        loaded=$(sed -n 's/.*calling init: \(.*libkelbrin.*\)/\1/p' "$log")
        [ "$loaded" = "$expected_library" ] ||
            fail "the console loaded '$loaded' instead of $expected_library"
        kill -0 "$console" 2>/dev/null || fail "the console exited during start-up"
    else
        fail "the installed console never loaded libkelbrin.so; the loader's search:"
        grep -A3 "find library=libkelbrin" "$log"
    fi
    kill "$console" 2>/dev/null
    wait "$console" 2>/dev/null
}

check_hardening() {
    # The package's programs and library carry Debian's hardening (cmake/hardening.cmake): PIE,
    # stack protector, fortified libc calls, RELRO, BIND_NOW. Two marks no Debian 12 build can
    # have are not asked for: control-flow protection (glibc 2.36's crt1.o and crti.o carry no CET
    # note, so the linker marks no program; Debian's own gammu shows the same), and fortified calls
    # in the console, whose only checkable libc calls are the standard library's memcpy, memmove
    # and memset with sizes known at run time only (lintian does not count those).
    if ! command -v hardening-check >/dev/null; then
        fail "hardening-check missing (scripts/install-deps.sh installs devscripts)"
        return
    fi
    hardening-check --quiet --nocfprotection "$prefix/$bindir/kelbrin-ports" \
        "$prefix/$bindir/modemsim" "$prefix/$libdir/libkelbrin.so.1.0.0" ||
        fail "hardening-check: the programs or the library lack Debian's hardening"
    hardening-check --quiet --nocfprotection --nofortify "$prefix/$libdir/vantrel/vantrel" ||
        fail "hardening-check: the console lacks Debian's hardening"
}

# AddressSanitizer intercepts dlopen, so the loader sees libasan as the caller and searches its
# (empty) RUNPATH instead of the console's: a sanitized console finds its library only through
# LD_LIBRARY_PATH (google/sanitizers#1219). There is nothing to prove about $ORIGIN there.
if [ "$mode" = console ] && readelf -d "$build_dir/bin/vantrel" | grep -q 'NEEDED.*libasan'; then
    echo "SKIPPED: this vantrel is built with AddressSanitizer, whose dlopen interceptor makes" \
        "libasan the caller, so RUNPATH \$ORIGIN is never searched; the default preset runs this"
    exit 77
fi

if [ "$mode" = package ]; then
    packages=("$build_dir"/vantrel_*.deb)
    if [ ! -f "${packages[0]}" ]; then
        echo "SKIPPED: no package in $build_dir; scripts/package.sh $build_dir makes one"
        exit 77
    fi
    dpkg-deb -x "${packages[0]}" "$stage"
    # The package installs under /usr, whatever the build's own prefix.
    libdir=$(dpkg-deb -c "${packages[0]}" | sed -n 's|.*\./usr/\(.*\)/libkelbrin\.so\.1 ->.*|\1|p')
elif ! "$cmake_command" --install "$build_dir" --prefix "$prefix" >"$stage/install.log" 2>&1; then
    cat "$stage/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

case $mode in
tree)
    check_tree
    check_icons
    check_desktop_entry
    check_simulator
    check_ports_command
    ;;
console)
    check_console_startup
    ;;
package)
    check_tree
    check_console_startup
    check_hardening
    ;;
*)
    echo "unknown mode '$mode'"
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install $mode: all checks passed"
