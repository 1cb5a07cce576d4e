#!/usr/bin/env bash
# Renders the four windows into docs/screenshots/ from an already built tree,
# under a private virtual X display, plus a whole-screen shot of the real
# program (desktop.png). Builds nothing: BUILD_DIR (default: build) must hold
# bin/orvanta-downloader and bin/orvanta-screenshots.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
OUT="$ROOT/docs/screenshots"
PROGRAM="$BUILD_DIR/bin/orvanta-downloader"
SHOOTER="$BUILD_DIR/bin/orvanta-screenshots"

for binary in "$PROGRAM" "$SHOOTER"; do
    if [ ! -x "$binary" ]; then
        echo "screenshots: $binary not found; build the project first" >&2
        exit 1
    fi
done
mkdir -p "$OUT"

# The window shots: the tool draws each window with sample content and exits.
QT_QPA_PLATFORM=xcb timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" "$SHOOTER" "$OUT"

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
