#!/usr/bin/env bash
# Renders the four windows into docs/screenshots/ from an already built tree,
# under a private virtual X display, plus a whole-screen shot of the real
# program (desktop.png). Builds nothing: BUILD_DIR (default: build) must hold
# bin/orvanta-downloader.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
OUT="$ROOT/docs/screenshots"
PROGRAM="$BUILD_DIR/bin/orvanta-downloader"

if [ ! -x "$PROGRAM" ]; then
    echo "screenshots: $PROGRAM not found; build the project first" >&2
    exit 1
fi
mkdir -p "$OUT"

# The window shots: the program draws each window and exits.
ORVANTA_SCREENSHOT_DIR="$OUT" QT_QPA_PLATFORM=xcb \
    timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$PROGRAM"

# The desktop shot: the real program at start-up, captured from the root window.
# A stand-alone tray (trayer) gives the icon a home when it is installed.
timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    tray=
    if command -v trayer >/dev/null; then
        trayer --edge bottom --align right --widthtype request --height 24 --transparent false --tint 0xc0c0c0 & tray=$!
        sleep 1
    fi
    "$1" & pid=$!
    sleep 3
    import -window root "$2"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if [ -n "$tray" ]; then kill "$tray" 2>/dev/null || true; fi
' _ "$PROGRAM" "$OUT/desktop.png"

ls -l "$OUT"
