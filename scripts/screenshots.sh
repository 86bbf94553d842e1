#!/usr/bin/env bash
# Builds the console and photographs it on a virtual X screen (Xvfb, no window manager, so the
# windows have no title bar): docs/screenshots/console-zh.png and console-en.png (Chinese and
# English UI, chosen by the locale variables) and about.png (the About box, opened from the
# console's context menu).
#
# The English UI needs a loaded libkelbrin.so: the one beside the executable if there is one,
# else the scripted stand-in the tests use. BUILD_DIR picks another build tree of the default
# preset (default: build/default).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build/default}
out_dir=docs/screenshots

if [ -z "${SCREENSHOTS_ON_XVFB:-}" ]; then
    scripts/install-deps.sh
    cmake --preset default -B "$build_dir" >/dev/null
    cmake --build "$build_dir" --target vantrel kelbrin_standin_full
    mkdir -p "$out_dir"
    SCREENSHOTS_ON_XVFB=1 BUILD_DIR="$build_dir" \
        exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0"
fi

library_dir="$build_dir/bin"
if [ ! -e "$library_dir/libkelbrin.so" ]; then
    library_dir="$build_dir/tests/core/standin/full"
fi
export LD_LIBRARY_PATH="$library_dir" QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

console_pid=""
open_console() { # locale
    LANG="$1" LC_ALL="" LC_MESSAGES="" "$build_dir/bin/vantrel" &
    console_pid=$!
    console_window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantrel-V2\.4$' | head -n 1)
    sleep 1 # let it paint
}
close_console() {
    kill "$console_pid"
    wait "$console_pid" || true
}

open_console zh_CN.UTF-8
import -window "$console_window" "$out_dir/console-zh.png"
# Right-click on the window background between the receive and log group boxes opens the
# context menu; its one item is the About command.
xdotool mousemove --window "$console_window" 394 175 click 3
sleep 0.5
xdotool key Down Return
# The About box's title is "关于 vantrel"; xdotool's pattern match is not UTF-8 aware here.
timeout 20 xdotool search --sync --onlyvisible --name 'vantrel$' >/dev/null
sleep 1
# The About box shown over the console: the screen cut to the console's rectangle.
eval "$(xdotool getwindowgeometry --shell "$console_window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out_dir/about.png"
close_console

open_console en_US.UTF-8
import -window "$console_window" "$out_dir/console-en.png"
close_console

echo "screenshots: $(ls "$out_dir"/*.png | tr '\n' ' ')"
