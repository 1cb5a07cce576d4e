#!/usr/bin/env bash
# Downloads a 1 GiB file from nginx on loopback with our engine (headless) and
# with curl, interleaved, and prints MB/s side by side with the ratio, our peak
# RSS, the pause latency and the refresh count.
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

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$BENCH_DIR/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $BENCH_DIR/nginx/nginx.pid;
error_log $BENCH_DIR/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $BENCH_DIR/nginx/tmp;
  proxy_temp_path $BENCH_DIR/nginx/tmp;
  fastcgi_temp_path $BENCH_DIR/nginx/tmp;
  uwsgi_temp_path $BENCH_DIR/nginx/tmp;
  scgi_temp_path $BENCH_DIR/nginx/tmp;
  sendfile on;
  server { listen 127.0.0.1:$PORT; root $BENCH_DIR/www; }
}
CONF
mkdir -p "$BENCH_DIR/nginx/tmp"
/usr/sbin/nginx -c "$BENCH_DIR/nginx/nginx.conf" -p "$BENCH_DIR/nginx" &
NGINX_PID=$!
trap 'kill $NGINX_PID 2>/dev/null; wait $NGINX_PID 2>/dev/null; rm -rf "$BENCH_DIR/out"' EXIT
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
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

ours=(); theirs=(); rss=0
for r in $(seq "$ROUNDS"); do
  prepare
  t0=$(now); curl -s -o "$OUT" "$URL"; t1=$(now)
  cmp -s "$SRC" "$OUT" || { echo "curl copy differs" >&2; exit 1; }
  theirs+=("$(calc "$t1 - $t0")")
  prepare
  result=$("$BENCH_BIN" "$URL" "$OUT")
  grep -q "result complete" <<<"$result" || { echo "our download did not complete: $result" >&2; exit 1; }
  cmp -s "$SRC" "$OUT" || { echo "our copy differs" >&2; exit 1; }
  ours+=("$(awk '/^seconds/ {print $2}' <<<"$result")")
  r_kib=$(awk '/^peak_rss_kib/ {print $2}' <<<"$result"); [ "$r_kib" -gt "$rss" ] && rss=$r_kib
  refreshes=$(awk '/^refreshes/ {print $2}' <<<"$result")
  printf 'round %d: curl %.3f s, ours %.3f s (%s refreshes)\n' "$r" "${theirs[-1]}" "${ours[-1]}" "$refreshes"
done

m_ours=$(echo "${ours[@]}" | median); m_curl=$(echo "${theirs[@]}" | median)
mb=$((SIZE_MIB * 1048576))
printf '\n%-28s %10s %10s\n' "" "curl" "orvanta"
printf '%-28s %10.3f %10.3f\n' "median seconds" "$m_curl" "$m_ours"
printf '%-28s %10.0f %10.0f\n' "median MB/s" "$(calc "$mb / $m_curl / 1000000")" "$(calc "$mb / $m_ours / 1000000")"
printf '%-28s %10s %10.2f\n' "ratio (curl time / ours)" "" "$(calc "$m_curl / $m_ours")"
printf '%-28s %10s %10.1f\n' "our peak RSS (MiB)" "" "$(calc "$rss / 1024")"

prepare
pause=$("$BENCH_BIN" "$URL" "$OUT" --pause-after 0.3)
printf '%-28s %10s %10s\n' "pause seen after (ms)" "" "$(awk '/^pause_ms/ {print $2}' <<<"$pause")"
