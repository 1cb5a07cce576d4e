#!/usr/bin/env bash
# Downloads 100 MB from four nginx mirrors on loopback (127.0.0.2 to
# 127.0.0.5, each answer limited with limit_rate) with every server at once,
# and prints for each case the time against the ideal (size / sum of the
# rates), the bytes the mirrors sent against the size, user CPU per GiB and
# peak RSS; the peer (aria2c, one connection per mirror) beside it when it
# is installed. Every copy is compared with the original.
# Usage: bench/multisource.sh   (BUILD_DIR, BENCH_DIR, SIZE override)
set -euo pipefail
cd "$(dirname "$0")/.."
. bench/common.sh
BUILD_DIR=${BUILD_DIR:-build}
BENCH_DIR=${BENCH_DIR:-/tmp/orvanta-multisource}
SIZE=${SIZE:-100000000}
. bench/mirrors.sh
prepare_mirrors
OUT="$BENCH_DIR/out/data.bin"
PEER=$(command -v aria2c || true)

ideal_text() { [ "$1" = - ] && echo - || printf %.2f "$1"; }
rate_bytes() { case "$1" in *m) echo $((${1%m} * 1048576)) ;; *k) echo $((${1%k} * 1024)) ;; *) echo "$1" ;; esac; }

# run_case NAME "RATE..." [stop: the second mirror stops half-way] [--one-server]
run_case() {
  local name=$1 rates=($2) stop_after=${3:-} mode=${4:-} i sum=0
  for i in "${!rates[@]}"; do start_mirror "$i" "${rates[$i]}"; sum=$((sum + $(rate_bytes "${rates[$i]}"))); done
  describe "$SRC" "$BENCH_DIR/data.ddf" "${#rates[@]}"
  local ideal
  if [ "$sum" -gt 0 ]; then ideal=$(calc "$SIZE / $sum"); else ideal=-; fi
  # Stopped half-way (by the ideal's clock): no ideal to compare with.
  [ -n "$stop_after" ] && stop_after=$(calc "$ideal / 2") && ideal=-
  rm -f "$OUT"; sync
  for log in "$BENCH_DIR"/nginx*/access.log; do : > "$log"; done
  local stopper=""
  if [ -n "$stop_after" ]; then (sleep "$stop_after"; kill "${MIRROR_PIDS[1]}" 2>/dev/null) & stopper=$!; fi
  local result
  result=$("$BENCH_BIN" "$(mirror_url 0 data.bin)" "$OUT" --ddf "$BENCH_DIR/data.ddf" $([ "$mode" = --one-server ] || echo --all-servers))
  if [ -n "$stopper" ]; then wait "$stopper" || true; stop_mirror 1; fi
  grep -q "result complete" <<<"$result" || { echo "$name: our download did not complete: $result" >&2; exit 1; }
  cmp -s "$SRC" "$OUT" || { echo "$name: our copy differs" >&2; exit 1; }
  local secs user rss sent
  secs=$(awk '/^seconds/ {print $2}' <<<"$result")
  user=$(awk '/^user_seconds/ {print $2}' <<<"$result")
  rss=$(awk '/^peak_rss_kib/ {print $2}' <<<"$result")
  sent=$(bytes_sent)
  printf '%-36s ours %6.2f s  ideal %5s s  time/ideal %5s  sent/size %5.3f  user CPU/GiB %4.2f s  peak RSS %3d MiB\n' \
    "$name" "$secs" "$(ideal_text "$ideal")" \
    "$([ "$ideal" = - ] && echo - || printf %.3f "$(calc "$secs / $ideal")")" \
    "$(calc "$sent / $SIZE")" "$(calc "$user * 1073741824 / $SIZE")" $((rss / 1024))
  LAST_USER_PER_GIB=$(calc "$user * 1073741824 / $SIZE")
  if [ -n "$PEER" ] && [ -z "$mode" ]; then
    rm -f "$OUT"
    for log in "$BENCH_DIR"/nginx*/access.log; do : > "$log"; done
    for i in "${!rates[@]}"; do [ -n "${MIRROR_PIDS[$i]}" ] || start_mirror "$i" "${rates[$i]}"; done
    local urls=()
    for i in "${!rates[@]}"; do urls+=("$(mirror_url "$i" data.bin)"); done
    stopper=""
    if [ -n "$stop_after" ]; then (sleep "$stop_after"; kill "${MIRROR_PIDS[1]}" 2>/dev/null) & stopper=$!; fi
    local measured
    measured=$(/usr/bin/time -f '%e %U %M' "$PEER" -q --allow-overwrite=true --file-allocation=none -s "${#rates[@]}" \
      -x 1 -k 1M --max-tries=3 --retry-wait=1 -d "$BENCH_DIR/out" -o data.bin "${urls[@]}" 2>&1 >/dev/null | tail -1)
    if [ -n "$stopper" ]; then wait "$stopper" || true; stop_mirror 1; fi
    read -r p_sec p_user p_rss <<<"$measured"
    cmp -s "$SRC" "$OUT" || echo "  (the peer's copy differs)"
    printf '%-36s peer %6.2f s  ideal %5s s  time/ideal %5s  sent/size %5.3f  user CPU/GiB %4.2f s  peak RSS %3d MiB\n' \
      "" "$p_sec" "$(ideal_text "$ideal")" \
      "$([ "$ideal" = - ] && echo - || printf %.3f "$(calc "$p_sec / $ideal")")" \
      "$(calc "$(bytes_sent) / $SIZE")" "$(calc "$p_user * 1073741824 / $SIZE")" $((p_rss / 1024))
  fi
  stop_mirrors
}

echo "100 MB ($SIZE bytes) from loopback mirrors; peer: ${PEER:-not installed}"
run_case "4 mirrors at 4 MB/s" "4m 4m 4m 4m"
multi_cpu=$LAST_USER_PER_GIB
run_case "3 at 4 MB/s, 1 at 1 MB/s" "4m 1m 4m 4m"
run_case "4 at 4 MB/s, one stopped mid-way" "4m 4m 4m 4m" stop
run_case "1 mirror at 4 MB/s, box ticked" "4m"
run_case "1 mirror at 4 MB/s, one server" "4m" "" --one-server
run_case "4 mirrors, one server used (box off)" "4m 4m 4m 4m" "" --one-server
single_cpu=$LAST_USER_PER_GIB
# CPU per GiB is a tenth of a second here and swings with the machine's
# load: the comparison takes the median of three unthrottled runs each.
PEER=""
multi=(); single=()
for r in 1 2 3; do
  run_case "4 mirrors, no limit (round $r)" "0 0 0 0"; multi+=("$LAST_USER_PER_GIB")
  run_case "4 mirrors, no limit, one server (round $r)" "0 0 0 0" "" --one-server; single+=("$LAST_USER_PER_GIB")
done
printf 'user CPU per GiB, four servers against one: %.2f throttled, %.2f unthrottled (medians %.2f s and %.2f s)\n' \
  "$(calc "$multi_cpu / $single_cpu")" "$(calc "$(echo "${multi[@]}" | median) / $(echo "${single[@]}" | median)")" \
  "$(echo "${multi[@]}" | median)" "$(echo "${single[@]}" | median)"
