#!/usr/bin/env bash
# Times the engine's check of an existing file (verify_bench: a descriptor
# download of a file that is already complete, run headless) on a cached
# 1 GiB file next to `orvanta-ddf verify` and plain `cat FILE > /dev/null`,
# interleaved over several rounds, and prints the medians, with the longest
# wait of the event loop between 10 ms timer ticks during the check.
#   BUILD_DIR=build-x BENCH_DIR=/tmp ROUNDS=5 SIZE_MIB=1024 bench/verify.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh

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

make_sample "$DATA" "$BYTES"
"$TOOL" create "$DATA" -o "$DDF" --server http://127.0.0.1/data.bin >/dev/null
cat "$DATA" "$DDF" >/dev/null  # cached from here on

run_ours() { "$OURS" "$DATA" "$DDF"; }
run_tool() { "$TOOL" verify "$DDF" "$DATA"; }
run_cat() { cat "$DATA" >/dev/null; }

# The engine's own timing of the check, without process start-up, and the
# longest gap between the event loop's timer ticks meanwhile.
inner=(); gaps=()
ours=(); tool=(); plain=()
for ((r = 1; r <= ROUNDS; r++)); do
  ours+=("$(seconds run_ours)")
  line=$("$OURS" "$DATA" "$DDF")
  inner+=("$(awk '{print $1}' <<<"$line")")
  gaps+=("$(awk '{print $3}' <<<"$line")")
  tool+=("$(seconds run_tool)")
  plain+=("$(seconds run_cat)")
done

printf '%s MiB cached file, %s rounds, median seconds\n' "$SIZE_MIB" "$ROUNDS"
printf '  %-34s %s\n' "engine check (in-process)" "$(printf '%s\n' "${inner[@]}" | median)"
printf '  %-34s %s ms (worst of %s: %s ms)\n' "longest event-loop wait" "$(printf '%s\n' "${gaps[@]}" | median)" \
  "$ROUNDS" "$(printf '%s\n' "${gaps[@]}" | sort -g | tail -1)"
printf '  %-34s %s\n' "verify_bench (whole process)" "$(printf '%s\n' "${ours[@]}" | median)"
printf '  %-34s %s\n' "orvanta-ddf verify" "$(printf '%s\n' "${tool[@]}" | median)"
printf '  %-34s %s\n' "cat > /dev/null" "$(printf '%s\n' "${plain[@]}" | median)"
