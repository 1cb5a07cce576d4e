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
