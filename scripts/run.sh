#!/usr/bin/env bash
# Builds and starts Orvanta Downloader.
#   ./scripts/run.sh DESCRIPTOR.ddf   opens that descriptor
#   ./scripts/run.sh                  demo: a local server on 127.0.0.1 serves a generated
#                                     ~40 MB sample file; its descriptor names it twice
#                                     (two "servers"); the server stops when the program exits,
#                                     or, when a window of the program is already open and takes
#                                     the descriptor over, on Ctrl-C.
set -euo pipefail
# A relative descriptor path is meant from where the script was started.
ARGS=()
for a in "$@"; do
  if [ -e "$a" ]; then ARGS+=("$(realpath "$a")"); else ARGS+=("$a"); fi
done
cd "$(dirname "$0")/.."
ROOT="$PWD"
./scripts/deps.sh
./scripts/build.sh

APP="$ROOT/build/bin/orvanta-downloader"
DDF_TOOL="$ROOT/build/bin/orvanta-ddf"

if [ ${#ARGS[@]} -ge 1 ]; then
  exec "$APP" "${ARGS[@]}"
fi

DEMO="$ROOT/build/demo"
SERVED="$DEMO/served"
mkdir -p "$SERVED" "$DEMO/downloads"

# The sample: 40 MiB plus a partial last block, the same bytes on every
# machine (AES-CTR of zeros under a fixed key).
SAMPLE="$SERVED/sample.bin"
SAMPLE_SIZE=$((40 * 1024 * 1024 + 1234))
if [ ! -f "$SAMPLE" ] || [ "$(stat -c %s "$SAMPLE")" -ne "$SAMPLE_SIZE" ]; then
  echo "Making the sample file..."
  head -c "$SAMPLE_SIZE" /dev/zero |
    openssl enc -aes-128-ctr -nosalt -K 4f7276616e746144656d6f53616d706c -iv 00000000000000000000000000000000 \
      >"$SAMPLE.tmp"
  mv "$SAMPLE.tmp" "$SAMPLE"
fi

PORT_FILE="$DEMO/server.out"
: >"$PORT_FILE"
python3 "$ROOT/scripts/test_server.py" --root "$SERVED" --bind 127.0.0.1 --port 0 --rate 4000000 \
  >"$PORT_FILE" 2>"$DEMO/server.err" &
SERVER_PID=$!
trap 'kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true' EXIT

PORT=""
for _ in $(seq 100); do
  PORT="$(sed -n 's/^PORT \([0-9]*\)$/\1/p' "$PORT_FILE")"
  [ -n "$PORT" ] && break
  kill -0 "$SERVER_PID" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$PORT" ]; then
  echo "The demo server did not start:" >&2
  cat "$DEMO/server.err" >&2
  exit 1
fi

# Made fresh each run: the port changes.
DESCRIPTOR="$DEMO/sample.ddf"
"$DDF_TOOL" create "$SAMPLE" -o "$DESCRIPTOR" \
  --server "Local server A|http://127.0.0.1:$PORT/sample.bin" \
  --server "Local server B|http://127.0.0.1:$PORT/sample.bin" \
  --info "Demo: a generated sample served from this machine at about 4 MB/s" --force

# True when a window of the program listens already: a start then hands its
# descriptor over and returns at once (the socket is the one the program
# itself uses).
instance_running() {
  local socket_path="${TMPDIR:-/tmp}/orvanta-downloader-$(id -u).socket"
  if [ -n "${XDG_RUNTIME_DIR:-}" ] && [ -d "$XDG_RUNTIME_DIR" ]; then
    socket_path="$XDG_RUNTIME_DIR/orvanta-downloader.socket"
  fi
  python3 -c 'import socket, sys; s = socket.socket(socket.AF_UNIX); s.settimeout(1); s.connect(sys.argv[1])' \
    "$socket_path" 2>/dev/null
}

echo "Demo server on 127.0.0.1:$PORT; the download goes to $DEMO/downloads by default."
cd "$DEMO/downloads"
if instance_running; then
  "$APP" "$DESCRIPTOR"
  echo "Orvanta Downloader was already open: its window took the demo over."
  echo "The demo server keeps serving it; press Ctrl-C to stop the server."
  wait "$SERVER_PID"
else
  "$APP" "$DESCRIPTOR"
fi
