#!/usr/bin/env bash
# Builds the console and photographs it on a virtual X screen (Xvfb, no window manager, so the
# windows have no title bar): docs/screenshots/console-zh.png and console-en.png (Chinese and
# English UI, chosen by the locale variables), about.png (the About box, opened from the
# console's context menu) and session.png (a working session on the demo's simulated modem: Start,
# a message to the loopback number, its report and the message coming back).
#
# The console loads the libkelbrin.so beside it. BUILD_DIR picks another build tree of the default
# preset (default: build/default).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build/default}
out_dir=docs/screenshots

if [ -z "${SCREENSHOTS_ON_XVFB:-}" ]; then
    scripts/install-deps.sh
    cmake --preset default -B "$build_dir" >/dev/null
    cmake --build "$build_dir" --target vantrel kelbrin modemsim
    mkdir -p "$out_dir"
    SCREENSHOTS_ON_XVFB=1 BUILD_DIR="$build_dir" \
        exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0"
fi

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
simulator_pid=""
console_pid=""
# Also runs when a step fails half-way: whatever is still running is stopped (a process that has
# already ended is no error) and the runtime folder goes.
clean_up() {
    for pid in $console_pid $simulator_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$XDG_RUNTIME_DIR"
}
trap clean_up EXIT

open_console() { # locale
    LANG="$1" LC_ALL="" LC_MESSAGES="" "$build_dir/bin/vantrel" &
    console_pid=$!
    console_window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vantrel-V2\.4$' | head -n 1)
    sleep 1 # let it paint
}
close_console() {
    kill "$console_pid"
    wait "$console_pid" || true
    console_pid=""
}
# Clicks the middle of a control given by its template rectangle in dialog units (x y w h); the
# console's base units are 7 x 14 pixels, and without a window manager the window has no frame.
click_control() {
    xdotool mousemove --window "$console_window" $(((2 * $1 + $3) * 7 / 8)) \
        $(((2 * $2 + $4) * 14 / 16)) click 1
}

open_console zh_CN.UTF-8
import -window "$console_window" "$out_dir/console-zh.png"
# Right-click on the window background between the receive and log group boxes opens the
# context menu; its one item is the About command.
xdotool mousemove --window "$console_window" 394 175 click 3
sleep 0.5
xdotool key Down Return
# The About box's title is "关于 Vantrel.exe"; xdotool's pattern match is not UTF-8 aware here.
timeout 20 xdotool search --sync --onlyvisible --name 'Vantrel\.exe$' >/dev/null
sleep 1
# The About box shown over the console: the screen cut to the console's rectangle.
eval "$(xdotool getwindowgeometry --shell "$console_window")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out_dir/about.png"
close_console

open_console en_US.UTF-8
import -window "$console_window" "$out_dir/console-en.png"
close_console

# A working session on the demo's simulated modem, on COM1.
export KELBRIN_COM1="$XDG_RUNTIME_DIR/modem"
"$build_dir/bin/modemsim" --scenario demo --link "$KELBRIN_COM1" >/dev/null &
simulator_pid=$!
timeout 10 sh -c 'until [ -L "$KELBRIN_COM1" ]; do sleep 0.1; done'
open_console en_US.UTF-8
click_control 208 8 37 14 # Start
click_control 76 217 96 13 # the number field
xdotool type --delay 20 +15550100
click_control 175 216 48 14 # Send
# The demo accepts a message after 1 s, reports it 3 s later and sends the loopback copy back 2 s
# after accepting it; the console shows each on its next poll (every 1.5 s).
sleep 8
import -window "$console_window" "$out_dir/session.png"
close_console

echo "screenshots: $(ls "$out_dir"/*.png | tr '\n' ' ')"
