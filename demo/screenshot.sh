#!/bin/bash
# Retakes the README's picture: the demo (its own server and profile, a
# first start) in a virtual screen with a window manager, connected.
#   demo/screenshot.sh <build dir> <file.png>
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
out=$(realpath -m "${2:-$here/../docs/main_window.png}")
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
wm=
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
DISPLAY=$display PALU_SCREENSHOT=$out PALU_DEMO_PROGRAM=$build/demo/palu_screenshot \
    QT_QPA_PLATFORM=xcb "$here/run.sh" "$build"
