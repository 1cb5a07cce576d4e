#!/usr/bin/env bash
# Downloads a 1 GiB file from nginx on loopback with our engine (headless) and
# with curl, interleaved, and prints the medians side by side: elapsed
# seconds, MB/s, user CPU seconds per GiB and peak RSS, then the pause
# latency. Our download ends only when its data is on the device (fdatasync
# before "completed"), so curl is also timed with `sync -d` on its copy, and
# the time ratio compares those two.
# Usage: bench/throughput.sh [ROUNDS]   (BUILD_DIR, BENCH_DIR, SIZE_MIB override)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
ROUNDS=${1:-5}
BUILD_DIR=${BUILD_DIR:-build}
BENCH_DIR=${BENCH_DIR:-/tmp/orvanta-throughput}
SIZE_MIB=${SIZE_MIB:-1024}
BENCH_BIN="$BUILD_DIR/bin/download_bench"
[ -x "$BENCH_BIN" ] || { echo "build first: $BENCH_BIN missing" >&2; exit 2; }
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { echo "nginx is not installed" >&2; exit 2; }

mkdir -p "$BENCH_DIR/www" "$BENCH_DIR/out" "$BENCH_DIR/nginx"
SRC="$BENCH_DIR/www/big.bin"
if [ ! -f "$SRC" ] || [ "$(stat -c %s "$SRC")" -ne $((SIZE_MIB * 1048576)) ]; then
  head -c $((SIZE_MIB * 1048576)) /dev/urandom > "$SRC"
fi

start_nginx "$BENCH_DIR"
trap 'kill $NGINX_PID 2>/dev/null; wait $NGINX_PID 2>/dev/null; rm -rf "$BENCH_DIR/out"' EXIT
URL="http://127.0.0.1:$PORT/big.bin"
OUT="$BENCH_DIR/out/big.bin"

# The machine is shared: warm the source and the target filesystem before
# every timed run, or the figures swing wildly.
prepare() {
  rm -f "$OUT"
  cat "$SRC" > /dev/null
  head -c $((SIZE_MIB * 1048576)) /dev/zero > "$BENCH_DIR/out/warm" && rm -f "$BENCH_DIR/out/warm"
  sync
}
now() { date +%s.%N; }

per_gib() { calc "$1 * 1073741824 / ($SIZE_MIB * 1048576)"; }
ours=(); theirs=(); theirs_synced=(); our_cpu=(); their_cpu=(); rss=0; their_rss=0
for r in $(seq "$ROUNDS"); do
  prepare
  measured=$(/usr/bin/time -f '%e %U %M' curl -s -o "$OUT" "$URL" 2>&1 >/dev/null | tail -1)
  cmp -s "$SRC" "$OUT" || { echo "curl copy differs" >&2; exit 1; }
  read -r c_sec c_user c_rss <<<"$measured"
  sync_started=$(now); sync -d "$OUT"; sync_ended=$(now)
  theirs_synced+=("$(calc "$c_sec + $sync_ended - $sync_started")")
  theirs+=("$c_sec"); their_cpu+=("$(per_gib "$c_user")"); [ "$c_rss" -gt "$their_rss" ] && their_rss=$c_rss
  prepare
  result=$("$BENCH_BIN" "$URL" "$OUT")
  grep -q "result complete" <<<"$result" || { echo "our download did not complete: $result" >&2; exit 1; }
  cmp -s "$SRC" "$OUT" || { echo "our copy differs" >&2; exit 1; }
  ours+=("$(awk '/^seconds/ {print $2}' <<<"$result")")
  our_cpu+=("$(per_gib "$(awk '/^user_seconds/ {print $2}' <<<"$result")")")
  r_kib=$(awk '/^peak_rss_kib/ {print $2}' <<<"$result"); [ "$r_kib" -gt "$rss" ] && rss=$r_kib
  printf 'round %d: curl %.3f s (%.3f s with sync, user %.3f s), ours %.3f s (user %.3f s)\n' "$r" "${theirs[-1]}" \
    "${theirs_synced[-1]}" "${their_cpu[-1]}" "${ours[-1]}" "${our_cpu[-1]}"
done

m_ours=$(echo "${ours[@]}" | median); m_curl=$(echo "${theirs[@]}" | median)
m_synced=$(echo "${theirs_synced[@]}" | median)
c_ours=$(echo "${our_cpu[@]}" | median); c_curl=$(echo "${their_cpu[@]}" | median)
mb=$((SIZE_MIB * 1048576))
printf '\n%-30s %10s %10s\n' "" "curl" "orvanta"
printf '%-30s %10.3f %10s\n' "median seconds, data in cache" "$m_curl" "-"
printf '%-30s %10.3f %10.3f\n' "median seconds, data on disk" "$m_synced" "$m_ours"
printf '%-30s %10.0f %10.0f\n' "median MB/s" "$(calc "$mb / $m_synced / 1000000")" "$(calc "$mb / $m_ours / 1000000")"
printf '%-30s %10.3f %10.3f\n' "median user CPU s per GiB" "$c_curl" "$c_ours"
printf '%-30s %10.1f %10.1f\n' "peak RSS (MiB)" "$(calc "$their_rss / 1024")" "$(calc "$rss / 1024")"
printf '%-30s %10s %10.2f\n' "time ratio (ours / curl+sync)" "" "$(calc "$m_ours / $m_synced")"
printf '%-30s %10s %10.2f\n' "user CPU ratio (ours / curl)" "" "$(calc "$c_ours / $c_curl")"

prepare
pause=$("$BENCH_BIN" "$URL" "$OUT" --pause-after 0.3)
printf '%-30s %10s %10s\n' "pause seen after (ms)" "" "$(awk '/^pause_ms/ {print $2}' <<<"$pause")"
