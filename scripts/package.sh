#!/usr/bin/env bash
# Builds the Debian package orvanta-downloader_VERSION_ARCH.deb into a folder
# (default: build-package/dist/) and checks it with lintian.
#   ./scripts/package.sh [OUT_DIR]
# The package is built in its own Release tree (build-package/), configured
# for /usr with the distribution's hardening flags; CPack computes the library
# dependencies with dpkg-shlibdeps, so that `apt install ./orvanta-downloader_*.deb`
# pulls in what the program needs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:-$ROOT/build-package/dist}"
case "$OUT" in /*) ;; *) OUT="$PWD/$OUT" ;; esac
cd "$ROOT"
./scripts/deps.sh dpkg-dev lintian

BUILD="$ROOT/build-package"
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
LAUNCHER=()
if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DORVANTA_BUILD_TESTS=OFF -DORVANTA_BUILD_BENCH=OFF "${LAUNCHER[@]}"
cmake --build "$BUILD" --parallel "${JOBS:-$(nproc)}"

mkdir -p "$OUT"
(cd "$BUILD" && cpack -G DEB -B "$OUT")
rm -rf "$OUT/_CPack_Packages"
DEB="$(ls -t "$OUT"/orvanta-downloader_*.deb | head -n 1)"

echo "Package: $DEB"
dpkg-deb --info "$DEB"
# Errors fail the script; warnings and notes are printed for the reader.
lintian --fail-on error --display-info "$DEB"
