#!/usr/bin/env bash
# Describes a sparse 5 GiB file with orvanta-ddf, serves it from nginx on
# loopback, downloads it with the engine in descriptor mode (every block's
# CRC and every chunk's SHA-256 checked in flight, the whole file hashed
# before "verified"), checks the copy with orvanta-ddf verify, and prints
# the time of each step. Needs 5 GiB free in BENCH_DIR for the copy, which
# it deletes at the end. Not run by the test suite.
#   bench/large.sh        (BUILD_DIR, BENCH_DIR, SIZE_MIB override)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
BUILD_DIR=${BUILD_DIR:-build}
BENCH_DIR=${BENCH_DIR:-/tmp/orvanta-large}
SIZE_MIB=${SIZE_MIB:-5120}
TOOL="$BUILD_DIR/bin/orvanta-ddf"
BENCH_BIN="$BUILD_DIR/bin/download_bench"
for bin in "$TOOL" "$BENCH_BIN"; do
  [ -x "$bin" ] || { echo "build first: $bin missing" >&2; exit 2; }
done
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { echo "nginx is not installed" >&2; exit 2; }

rm -rf "$BENCH_DIR"
mkdir -p "$BENCH_DIR/www" "$BENCH_DIR/out"
SRC="$BENCH_DIR/www/big.bin"
DDF="$BENCH_DIR/big.ddf"
OUT="$BENCH_DIR/out/big.bin"
truncate -s "$((SIZE_MIB * 1048576))" "$SRC"  # sparse: takes no disk, reads as zeros
printf 'x' | dd of="$SRC" bs=1 seek=$((SIZE_MIB * 1048576 - 4097)) conv=notrunc status=none  # not all zeros

start_nginx "$BENCH_DIR"
trap 'kill $NGINX_PID 2>/dev/null; wait $NGINX_PID 2>/dev/null; rm -rf "$BENCH_DIR"' EXIT
URL="http://127.0.0.1:$PORT/big.bin"

t_create=$(seconds "$TOOL" create "$SRC" -o "$DDF" --server "$URL")
"$TOOL" info "$DDF" | grep -E '^(File size|Chunk size|SHA-256|Downloader):'
start=$(date +%s.%N)
result=$("$BENCH_BIN" "$URL" "$OUT" --ddf "$DDF")
end=$(date +%s.%N)
t_download=$(calc "$end - $start")
echo "$result" | sed 's/^/download: /'
grep -q "result complete" <<<"$result" || { echo "the download did not complete" >&2; exit 1; }
[ "$(stat -c %s "$OUT")" -eq "$((SIZE_MIB * 1048576))" ] || { echo "the copy has the wrong size" >&2; exit 1; }
start=$(date +%s.%N)
"$TOOL" verify "$DDF" "$OUT"
end=$(date +%s.%N)
t_verify=$(calc "$end - $start")

echo
printf '%-30s %8.1f s\n' "create (describe $SIZE_MIB MiB)" "$t_create" "download over loopback" "$t_download" \
  "verify the copy" "$t_verify"
printf '%-30s %8.0f MB/s\n' "download rate" "$(calc "$SIZE_MIB * 1048576 / $t_download / 1000000")"
