#!/usr/bin/env bash
# Installs what is missing, builds the console (default preset) and opens it. The console loads
# the libkelbrin.so it finds beside build/default/bin/vantrel (or on LD_LIBRARY_PATH); with none,
# it opens all the same and Start answers that the library is not loaded.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default
cmake --build --preset default --target vantrel

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    cat >&2 <<'MSG'
run: the console is built (build/default/bin/vantrel), but this session has no display
(neither DISPLAY nor WAYLAND_DISPLAY is set), so no window can open here. Either
  - log in with X forwarding (ssh -X host) and run scripts/run.sh again, or
  - run it on a virtual screen: xvfb-run -a scripts/run.sh
    (scripts/screenshots.sh shows what it looks like there).
MSG
    exit 2
fi
exec build/default/bin/vantrel
