#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a user of the installed tree gets:
# the exact set of files and links, the icons' sizes, the desktop entry, the installed console
# loading the installed libkelbrin.so (through bin/vantrel and RUNPATH $ORIGIN, nothing else on
# the search path) and the installed simulator starting on the installed demo scenario.
#
# usage: install_test.sh CMAKE BUILD_DIR BINDIR LIBDIR INCLUDEDIR DATADIR
set -uo pipefail

cmake_command=$1 build_dir=$2 bindir=$3 libdir=$4 includedir=$5 datadir=$6
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

stage=$(realpath "$(mktemp -d)")
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

if ! "$cmake_command" --install "$build_dir" --prefix "$stage/usr" >"$stage/install.log" 2>&1; then
    cat "$stage/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
prefix=$stage/usr

# --- Layout: every file and link, nothing else (no tests, benchmarks or GoogleTest) ---------
expected=$(sort <<EOF
$bindir/modemsim
$bindir/vantrel -> $(realpath -m --relative-to="$bindir" "$libdir/vantrel/vantrel")
$includedir/kelbrin.h
$libdir/libkelbrin.so -> libkelbrin.so.1
$libdir/libkelbrin.so.1 -> libkelbrin.so.1.0.0
$libdir/libkelbrin.so.1.0.0
$libdir/vantrel/libkelbrin.so -> ../libkelbrin.so.1
$libdir/vantrel/vantrel
$datadir/applications/vantrel.desktop
$datadir/icons/hicolor/128x128/apps/vantrel.png
$datadir/icons/hicolor/16x16/apps/vantrel.png
$datadir/icons/hicolor/32x32/apps/vantrel.png
$datadir/icons/hicolor/48x48/apps/vantrel.png
$datadir/icons/hicolor/64x64/apps/vantrel.png
$datadir/modemsim/demo.scenario
EOF
)
actual=$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort | while read -r f; do
    if [ -L "$f" ]; then echo "$f -> $(readlink "$f")"; else echo "$f"; fi
done)
if [ "$actual" != "$expected" ]; then
    fail "installed files differ from the expected layout (< expected, > installed):"
    diff <(echo "$expected") <(echo "$actual")
fi
for program in "$bindir/modemsim" "$libdir/vantrel/vantrel"; do
    [ -x "$prefix/$program" ] || fail "$program is not executable"
done

# --- Icons: each PNG's size matches its hicolor folder (IHDR width and height) --------------
for png in "$prefix/$datadir"/icons/hicolor/*/apps/vantrel.png; do
    folder=$(basename "$(dirname "$(dirname "$png")")")
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "${width}x${height}" = "$folder" ] || fail "$png is ${width}x${height}"
done

# --- Desktop entry: valid, and its Exec and Icon name what is installed -------------------
desktop=$prefix/$datadir/applications/vantrel.desktop
if ! command -v desktop-file-validate >/dev/null; then
    fail "desktop-file-validate missing (scripts/install-deps.sh installs desktop-file-utils)"
elif ! desktop-file-validate "$desktop"; then
    fail "desktop-file-validate rejects $desktop"
fi
exec_command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -n "$exec_command" ] && [ -x "$prefix/$bindir/$exec_command" ] ||
    fail "Exec=$exec_command is not an installed program in $bindir"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -n "$icon" ] && [ -f "$prefix/$datadir/icons/hicolor/48x48/apps/$icon.png" ] ||
    fail "Icon=$icon has no installed hicolor icon"

# --- The installed console loads the installed library ------------------------------------
# The dynamic loader names the file of every library it initialises and, on a failed search,
# where it looked; only RUNPATH $ORIGIN of the resolved executable leads to the private folder.
console_log=$stage/console.stderr
env -u LD_LIBRARY_PATH -u LD_PRELOAD QT_QPA_PLATFORM=offscreen LD_DEBUG=libs,files \
    "$prefix/$bindir/vantrel" 2>"$console_log" >/dev/null &
console=$!
children+=("$console")
expected_library=$prefix/$libdir/vantrel/libkelbrin.so
if wait_for_line "$console_log" "calling init: .*libkelbrin" "$console"; then
    loaded=$(sed -n 's/.*calling init: \(.*libkelbrin.*\)/\1/p' "$console_log")
    [ "$loaded" = "$expected_library" ] ||
        fail "the console loaded '$loaded' instead of $expected_library"
    kill -0 "$console" 2>/dev/null || fail "the console exited during start-up"
else
    fail "the installed console never loaded libkelbrin.so; the loader's search:"
    grep -A3 "find library=libkelbrin" "$console_log"
fi
kill "$console" 2>/dev/null
wait "$console" 2>/dev/null

# --- The installed simulator starts on the installed demo scenario -------------------------
sim_log=$stage/modemsim.stdout
"$prefix/$bindir/modemsim" --scenario "$prefix/$datadir/modemsim/demo.scenario" \
    >"$sim_log" 2>&1 &
simulator=$!
children+=("$simulator")
if wait_for_line "$sim_log" "^/dev/pts/" "$simulator"; then
    kill -TERM "$simulator"
    wait "$simulator" || fail "modemsim did not stop cleanly on SIGTERM"
else
    fail "the installed modemsim did not start on the installed demo scenario:"
    cat "$sim_log"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "install layout, desktop entry, icons, console start-up and simulator: all as expected"
