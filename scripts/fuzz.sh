#!/usr/bin/env bash
# Fuzzes the descriptor reader, the load check and orvanta-ddf info/verify.
#   ./scripts/fuzz.sh [SECONDS]   (default 60)
# Builds fuzz/ with clang, libFuzzer, ASan and UBSan in build-fuzz/, runs it
# for SECONDS on the seeds in fuzz/corpus/ (new inputs go to
# build-fuzz/corpus/), and exits non-zero when it finds a crash, a leak or a
# sanitizer report; the input that did it is left in build-fuzz/artifacts/.
set -euo pipefail
RUN_SECONDS="${1:-60}"
case "$RUN_SECONDS" in '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac
cd "$(dirname "$0")/.."
./scripts/deps.sh

LAUNCHER=()
command -v ccache >/dev/null && LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f build-fuzz/build.ninja ]; then
  CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${LAUNCHER[@]}"
fi
cmake --build build-fuzz --target descriptor_fuzzer --parallel "$(nproc)"

mkdir -p build-fuzz/corpus build-fuzz/artifacts
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec build-fuzz/descriptor_fuzzer -max_total_time="$RUN_SECONDS" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 build-fuzz/corpus fuzz/corpus
