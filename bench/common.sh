# Shared by the bench scripts: timing, medians and the sample data.
# Sourced, not run.

# command... -> elapsed wall seconds on stdout
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

# numbers on stdin (spaces or lines) -> their median
median() {
  tr ' ' '\n' | grep -v '^$' | sort -g |
    awk '{v[NR]=$1} END {printf "%.3f\n", (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}

# arithmetic in floating point: calc "1 / 3"
calc() { awk "BEGIN { print $* }"; }

# make_sample FILE BYTES: incompressible contents without waiting on
# /dev/urandom. The generator ends by SIGPIPE once head has enough, hence no
# pipefail around it.
make_sample() {
  set +o pipefail
  openssl enc -aes-128-ctr -nosalt -pass pass:orvanta -pbkdf2 </dev/zero 2>/dev/null | head -c "$2" >"$1"
  set -o pipefail
  [ "$(stat -c %s "$1")" -eq "$2" ] || { echo "could not write $1" >&2; exit 1; }
}

# start_nginx DIR: serves DIR/www from nginx on a free loopback port, with its
# files in DIR/nginx; sets PORT and NGINX_PID once it answers.
start_nginx() {
  local dir=$1
  mkdir -p "$dir/nginx/tmp"
  PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$dir/nginx/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $dir/nginx/nginx.pid;
error_log $dir/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $dir/nginx/tmp;
  proxy_temp_path $dir/nginx/tmp;
  fastcgi_temp_path $dir/nginx/tmp;
  uwsgi_temp_path $dir/nginx/tmp;
  scgi_temp_path $dir/nginx/tmp;
  sendfile on;
  server { listen 127.0.0.1:$PORT; root $dir/www; }
}
CONF
  /usr/sbin/nginx -c "$dir/nginx/nginx.conf" -p "$dir/nginx" &
  NGINX_PID=$!
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break; sleep 0.1; done
}
