#!/usr/bin/env bash
# Times the program's existing-file verification (verify_bench, the engine's
# VerifyExistingFile run headless) on a cached 1 GiB file next to
# `orvanta-ddf verify` and plain `cat FILE > /dev/null`, interleaved over
# several rounds, and prints the medians.
#   BUILD_DIR=build-x BENCH_DIR=/tmp ROUNDS=5 SIZE_MIB=1024 bench/verify.sh
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
BENCH_DIR=${BENCH_DIR:-/tmp}
ROUNDS=${ROUNDS:-5}
SIZE_MIB=${SIZE_MIB:-1024}
OURS="$BUILD_DIR/bin/verify_bench"
TOOL="$BUILD_DIR/bin/orvanta-ddf"
for bin in "$OURS" "$TOOL"; do
  [ -x "$bin" ] || { echo "verify.sh: $bin not found; build verify_bench and orvanta-ddf first" >&2; exit 2; }
done

WORK=$(mktemp -d "$BENCH_DIR/orvanta-verify-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
DATA="$WORK/data.bin"
DDF="$WORK/data.ddf"
BYTES=$((SIZE_MIB * 1024 * 1024))

# Incompressible contents without waiting on /dev/urandom; the generator
# ends by SIGPIPE once head has enough.
set +o pipefail
openssl enc -aes-128-ctr -nosalt -pass pass:orvanta -pbkdf2 </dev/zero 2>/dev/null | head -c "$BYTES" >"$DATA"
set -o pipefail
[ "$(stat -c %s "$DATA")" -eq "$BYTES" ] || { echo "verify.sh: could not write $DATA" >&2; exit 1; }
"$TOOL" create "$DATA" -o "$DDF" --server http://127.0.0.1/data.bin >/dev/null
cat "$DATA" "$DDF" >/dev/null  # cached from here on

seconds() {  # command... -> elapsed wall seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
median() { sort -g | awk '{v[NR]=$1} END {m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "%.3f", m}'; }

run_ours() { "$OURS" "$DATA" "$DDF"; }
run_tool() { "$TOOL" verify "$DDF" "$DATA"; }
run_cat() { cat "$DATA" >/dev/null; }

# The engine's own timing of the check, without process start-up.
inner=()
ours=(); tool=(); plain=()
for ((r = 1; r <= ROUNDS; r++)); do
  ours+=("$(seconds run_ours)")
  inner+=("$("$OURS" "$DATA" "$DDF" | awk '{print $1}')")
  tool+=("$(seconds run_tool)")
  plain+=("$(seconds run_cat)")
done

printf '%s MiB cached file, %s rounds, median seconds\n' "$SIZE_MIB" "$ROUNDS"
printf '  %-34s %s\n' "VerifyExistingFile (in-process)" "$(printf '%s\n' "${inner[@]}" | median)"
printf '  %-34s %s\n' "verify_bench (whole process)" "$(printf '%s\n' "${ours[@]}" | median)"
printf '  %-34s %s\n' "orvanta-ddf verify" "$(printf '%s\n' "${tool[@]}" | median)"
printf '  %-34s %s\n' "cat > /dev/null" "$(printf '%s\n' "${plain[@]}" | median)"
