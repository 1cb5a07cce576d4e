#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest.
#   ./scripts/test.sh [CTEST ARGS...]              the Release tree in build/
#   ./scripts/test.sh --sanitize [CTEST ARGS...]   the whole suite built with
#       AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/; any
#       report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
BUILD_DIR=build
if [ "${1:-}" = "--sanitize" ]; then
  shift
  BUILD_DIR=build-asan
  SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  BUILD_DIR="$BUILD_DIR" ./scripts/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS=$SANITIZE" "-DCMAKE_EXE_LINKER_FLAGS=$SANITIZE" "-DCMAKE_SHARED_LINKER_FLAGS=$SANITIZE"
  export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
else
  ./scripts/build.sh
fi
cd "$BUILD_DIR"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@"
