#!/usr/bin/env bash
# Kills a download from four nginx mirrors on loopback (127.0.0.2 to
# 127.0.0.5, slowed with limit_rate so that the kills fall inside the
# download) with SIGKILL at random moments, 20 times, resuming it each
# time, then lets the last run finish at full speed; checks the copy is byte-identical
# and prints how much the mirrors sent beyond the file's size (what the
# kills cost), and how often a resume found the record of good blocks kept
# with the file.
# Usage: bench/multisource_kill.sh [KILLS] [SEED]   (BUILD_DIR, BENCH_DIR, SIZE, RATE override)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
KILLS=${1:-20}
RANDOM=${2:-14}
BUILD_DIR=${BUILD_DIR:-build}
BENCH_DIR=${BENCH_DIR:-/tmp/orvanta-multisource-kill}
SIZE=${SIZE:-100000000}
RATE=${RATE:-256k}
. bench/mirrors.sh
prepare_mirrors
for i in "${!MIRROR_ADDRESSES[@]}"; do start_mirror "$i" "$RATE"; done
describe "$SRC" "$BENCH_DIR/data.ddf" 4
OUT="$BENCH_DIR/out/data.bin"
LOG="$BENCH_DIR/engine.log"
rm -f "$OUT"; : > "$LOG"
for log in "$BENCH_DIR"/nginx*/access.log; do : > "$log"; done
sent_before_restart=0

killed=0 finished_early=0
for k in $(seq "$KILLS"); do
  ORVANTA_BENCH_LOG=1 "$BENCH_BIN" "$(mirror_url 0 data.bin)" "$OUT" --ddf "$BENCH_DIR/data.ddf" --all-servers >/dev/null 2>>"$LOG" &
  pid=$!
  # Between 0.1 and 1.5 s: in the check, the first answers or the body.
  sleep "$(calc "0.1 + ($RANDOM % 1400) / 1000")"
  if kill -KILL "$pid" 2>/dev/null; then killed=$((killed + 1)); else finished_early=$((finished_early + 1)); fi
  wait "$pid" 2>/dev/null || true
  printf 'kill %2d: %s bytes in place\n' "$k" "$(stat -c '%b %B' "$OUT" 2>/dev/null | awk '{print $1 * $2}' || echo 0)"
done
sent_before_restart=$(bytes_sent)  # a restarted mirror starts a new log
stop_mirrors
for i in "${!MIRROR_ADDRESSES[@]}"; do start_mirror "$i" 0; done  # the rest at full speed
result=$(ORVANTA_BENCH_LOG=1 "$BENCH_BIN" "$(mirror_url 0 data.bin)" "$OUT" --ddf "$BENCH_DIR/data.ddf" --all-servers 2>>"$LOG")
grep -q "result complete" <<<"$result" || { echo "the last run did not complete: $result" >&2; exit 1; }
identical=no
cmp -s "$SRC" "$OUT" && identical=yes
sent=$((sent_before_restart + $(bytes_sent)))
refetched=$((sent - SIZE))
printf 'kills %d (the download had ended before %d more), byte-identical after the last resume: %s\n' \
  "$killed" "$finished_early" "$identical"
printf 'mirrors sent %d bytes for a %d-byte file: %d re-fetched, %.2f%% of the size (at most 10%% allowed)\n' \
  "$sent" "$SIZE" "$refetched" "$(calc "100 * $refetched / $SIZE")"
printf 'resumes that found a record of good blocks: %d, records that did not fit: %d\n' \
  "$(grep -c 'keeps a record of its good blocks' "$LOG" || true)" "$(grep -c 'does not fit the file' "$LOG" || true)"
[ "$identical" = yes ] && [ $((refetched * 10)) -le "$SIZE" ]
