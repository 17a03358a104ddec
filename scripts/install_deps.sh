#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need (Debian, as root).
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-dev            # fuzz targets (libFuzzer) and sanitizer runtimes
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev                     # the desktop program
  xvfb xauth fonts-wqy-microhei    # running it headless with Chinese text
  dpkg-dev file qt6-qpa-plugins    # the Debian package: cpack's dependency scan, what it depends on
  gputils                          # assembles firmware test images
  python3
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
