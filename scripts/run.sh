#!/usr/bin/env bash
# Installs what is missing, builds, and starts the clock. On a machine with no
# display it starts the clock on a virtual display with a tray and saves a
# screenshot to build/screenshot.png, so you can see that it works.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j2 --target tockwise

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/bin/tockwise "$@"
fi

display=:77
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb $tray $clock 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xsetroot -solid '#3a6ea5'
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
tray=$!
sleep 1
build/bin/tockwise "$@" &
clock=$!
sleep 3
import -window root build/screenshot.png
echo "No display here: the clock runs on a virtual display; screenshot saved to build/screenshot.png."
echo "Press Ctrl+C to stop it."
wait $clock
