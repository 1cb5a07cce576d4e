#!/usr/bin/env bash
# Configures (once) and builds the Release tree in build/; binaries land in build/bin/.
# BUILD_DIR names another tree; arguments are passed to cmake when it configures
# that tree (./scripts/test.sh --sanitize builds build-asan/ this way).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
fi
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
