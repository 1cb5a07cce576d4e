#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need,
# and any packages named as arguments (scripts/package.sh adds its own).
# Quick when everything is already there: apt is only asked for what is missing.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev libcurl4-openssl-dev libssl-dev libisal-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # runtime of the program (desktop fonts for the windows)
  fonts-dejavu-core ca-certificates
  # tests, demo and benchmarks: local servers, a virtual display, screenshots
  python3 openssl curl nginx-light xvfb xauth trayer imagemagick xdotool
  # the icon rendered from its SVG; the installed desktop files checked as the desktop reads them
  librsvg2-bin desktop-file-utils appstream libxml2-utils shared-mime-info man-db
  # fuzzing (scripts/fuzz.sh): clang with its libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev llvm
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
