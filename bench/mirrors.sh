# Shared by the bench scripts that need several mirrors: nginx on the
# loopback addresses 127.0.0.2 to 127.0.0.5, one process each (so that one
# can be stopped alone), every answer limited to a rate, every request
# logged with the bytes sent. Sourced, not run; needs common.sh, BUILD_DIR,
# BENCH_DIR and SIZE.

MIRROR_ADDRESSES=(127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5)
MIRROR_PIDS=()

# free_port: a port free on every mirror address
free_port() {
  python3 - "${MIRROR_ADDRESSES[@]}" <<'PY'
import socket, sys
while True:
    probe = socket.socket(); probe.bind((sys.argv[1], 0)); port = probe.getsockname()[1]; probe.close()
    try:
        for a in sys.argv[1:]:
            s = socket.socket(); s.bind((a, port)); s.close()
        print(port); break
    except OSError:
        pass
PY
}

# start_mirror INDEX RATE: nginx on MIRROR_ADDRESSES[INDEX]:MIRROR_PORT
# serving $BENCH_DIR/www at RATE (nginx's limit_rate, e.g. 4m; 0: none).
start_mirror() {
  local dir="$BENCH_DIR/nginx$1" address=${MIRROR_ADDRESSES[$1]}
  mkdir -p "$dir/tmp"
  : > "$dir/access.log"
  cat > "$dir/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
  log_format sent '\$body_bytes_sent \$uri';
  access_log $dir/access.log sent;
  client_body_temp_path $dir/tmp;
  proxy_temp_path $dir/tmp;
  fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp;
  scgi_temp_path $dir/tmp;
  sendfile on;
  keepalive_requests 100000;
  server { listen $address:$MIRROR_PORT; root $BENCH_DIR/www; limit_rate $2; }
}
CONF
  /usr/sbin/nginx -c "$dir/nginx.conf" -p "$dir" &
  MIRROR_PIDS[$1]=$!
  for _ in $(seq 50); do curl -s -o /dev/null "http://$address:$MIRROR_PORT/" && return 0; sleep 0.1; done
  echo "mirror $address did not start" >&2; return 1
}

stop_mirror() {
  local pid=${MIRROR_PIDS[$1]:-}
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  MIRROR_PIDS[$1]=""
}

stop_mirrors() { for i in "${!MIRROR_ADDRESSES[@]}"; do stop_mirror "$i"; done; }

# bytes_sent: body bytes every mirror sent for the file (not for the start-up probes)
bytes_sent() { cat "$BENCH_DIR"/nginx*/access.log 2>/dev/null | awk '$2 != "/" { s += $1 } END { printf "%d\n", s }'; }

mirror_url() { echo "http://${MIRROR_ADDRESSES[$1]}:$MIRROR_PORT/$2"; }

# describe FILE DDF COUNT: a descriptor of FILE naming the first COUNT mirrors
describe() {
  local servers=() i
  for ((i = 0; i < $3; i++)); do
    if [ "$3" -eq 1 ]; then servers+=(--server "$(mirror_url "$i" "$(basename "$1")")")
    else servers+=(--server "M$((i + 1))|$(mirror_url "$i" "$(basename "$1")")"); fi
  done
  "$BUILD_DIR/bin/orvanta-ddf" create "$1" -o "$2" --force "${servers[@]}" >/dev/null
}

# prepare_mirrors: checks the tools, makes the sample SRC of SIZE bytes,
# picks MIRROR_PORT and stops the mirrors on exit; sets BENCH_BIN.
prepare_mirrors() {
  BENCH_BIN="$BUILD_DIR/bin/download_bench"
  [ -x "$BENCH_BIN" ] || { echo "build first: $BENCH_BIN missing" >&2; exit 2; }
  [ -x /usr/sbin/nginx ] || { echo "nginx is not installed" >&2; exit 2; }
  mkdir -p "$BENCH_DIR/www" "$BENCH_DIR/out"
  SRC="$BENCH_DIR/www/data.bin"
  [ -f "$SRC" ] && [ "$(stat -c %s "$SRC")" -eq "$SIZE" ] || make_sample "$SRC" "$SIZE"
  MIRROR_PORT=$(free_port)
  trap 'stop_mirrors; rm -rf "$BENCH_DIR/out"' EXIT
}
