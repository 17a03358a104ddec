#!/usr/bin/env bash
# Builds the Debian package of the workstation (Tagging, tagctl, readersim,
# the libraries, Dalrix.so, headers, manual pages, desktop entry) and prints
# its path.
#
#   scripts/package.sh [BUILD_DIR]
#
# BUILD_DIR: a build tree to package from (default build-package, made
# without tests and benchmarks when it is not there yet); an existing tree,
# such as the one scripts/test.sh builds, is only brought up to date.
# Install the package with: sudo apt install ./BUILD_DIR/tagging-workstation_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}

if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "== configuring $build (the programs and libraries, no tests)"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTAGGING_TESTS=OFF -DTAGGING_BENCH=OFF >/dev/null
fi
echo "== building in $build (the first build takes several minutes; ninja counts the steps)"
cmake --build "$build" -j"$(nproc)"

echo "== packaging (cpack -G DEB)"
# CPack warns of a missing postinst and postrm (named on purpose so that it
# writes none: cmake/Package.cmake) and of Dalrix.so without a version (a
# driver loaded by its file name).
rm -f "$build"/tagging-workstation_*.deb
(cd "$build" && cpack -G DEB) | grep -v '^CPack: - ' || true
deb=$(ls "$build"/tagging-workstation_*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || { echo "package: cpack made no package" >&2; exit 1; }
echo "== package: $deb"
