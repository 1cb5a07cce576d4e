#!/usr/bin/env bash
# Times `orvanta-ddf create` and `verify` on a 1 GiB file, with the SHA-256
# trailer (the default) and with CRCs alone (--crc-only), against plain
# `cat FILE > /dev/null` and `sha256sum FILE`, interleaved over several
# rounds, and prints the medians with the two ratios the tool is held to:
# create with hashes against sha256sum (at most 1.5), verify with hashes
# against verify with CRCs alone (at most 2.5). Builds nothing: expects $BUILD_DIR/bin/orvanta-ddf (default build/).
#   BUILD_DIR=build-x BENCH_DIR=/tmp ROUNDS=5 SIZE_MIB=1024 bench/ddf.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh

BUILD_DIR=${BUILD_DIR:-build}
BENCH_DIR=${BENCH_DIR:-/tmp}
ROUNDS=${ROUNDS:-5}
SIZE_MIB=${SIZE_MIB:-1024}
TOOL="$BUILD_DIR/bin/orvanta-ddf"
[ -x "$TOOL" ] || { echo "ddf.sh: $TOOL not found; build the orvanta-ddf target first" >&2; exit 2; }

WORK=$(mktemp -d "$BENCH_DIR/orvanta-ddf-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
DATA="$WORK/data.bin"
DDF="$WORK/data.ddf"
BYTES=$((SIZE_MIB * 1024 * 1024))

make_sample "$DATA" "$BYTES"
CRC_DDF="$WORK/crc.ddf"
"$TOOL" create "$DATA" -o "$DDF" --server http://127.0.0.1/data.bin
"$TOOL" create "$DATA" -o "$CRC_DDF" --server http://127.0.0.1/data.bin --crc-only
OUT_BYTES=$(stat -c %s "$DDF")

# Same conditions before every timed run: the source read once, and a file
# the size of the descriptor written and deleted.
prepare() {
  cat "$DATA" >/dev/null
  head -c "$OUT_BYTES" /dev/zero >"$WORK/scratch"
  rm -f "$WORK/scratch"
}

run_cat() { cat "$DATA" >/dev/null; }
run_sha256sum() { sha256sum "$DATA" >/dev/null; }
run_create() { "$TOOL" create "$DATA" -o "$DDF" --server http://127.0.0.1/data.bin --force; }
run_create_crc() { "$TOOL" create "$DATA" -o "$CRC_DDF" --server http://127.0.0.1/data.bin --force --crc-only; }
run_verify() { "$TOOL" verify "$DDF" "$DATA"; }
run_verify_crc() { "$TOOL" verify "$CRC_DDF" "$DATA"; }

WHAT=(cat sha256sum create create_crc verify verify_crc)
declare -A times
for round in $(seq 1 "$ROUNDS"); do
  for what in "${WHAT[@]}"; do
    prepare
    t=$(seconds "run_$what")
    times[$what]+="$t "
    printf 'round %d %-10s %8.3f s\n' "$round" "$what" "$t"
  done
done


echo
printf '%-10s %10s %12s %10s\n' "" "median s" "MB/s" "vs cat"
cat_median=$(echo "${times[cat]}" | median)
declare -A med
for what in "${WHAT[@]}"; do
  m=$(echo "${times[$what]}" | median)
  med[$what]=$m
  rate=$(calc "$BYTES / $m / 1000000")
  ratio=$(calc "$cat_median / $m")
  printf '%-10s %10.3f %12.0f %9.2fx\n' "$what" "$m" "$rate" "$ratio"
done
echo
printf 'create (hashes) / sha256sum:      %5.2f (at most 1.5)\n' "$(calc "${med[create]} / ${med[sha256sum]}")"
printf 'verify (hashes) / verify (CRCs):  %5.2f (at most 2.5)\n' "$(calc "${med[verify]} / ${med[verify_crc]}")"
