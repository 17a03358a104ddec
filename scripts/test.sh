#!/usr/bin/env bash
# Builds the project and runs every test: the regular build, the Debian
# package made from it (installed, run and removed again), a sanitizer
# build (AddressSanitizer + UndefinedBehaviorSanitizer), and the bounded
# fuzz runs when clang is present. Any failure fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== regular build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300

echo "== Debian package (from the regular build): dpkg -i, the installed programs, dpkg -r"
scripts/package_test.sh build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=address,undefined \
      -DTAGGING_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j"$jobs" --output-on-failure --timeout 600 -LE 'fuzz|bench'

echo "== ThreadSanitizer (the suites labelled tsan)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=thread \
      -DTAGGING_BENCH=OFF -DTAGGING_GUI=OFF >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build-tsan -j"$jobs" --output-on-failure --timeout 600 -L tsan

if command -v clang++ >/dev/null; then
  echo "== fuzzing (bounded)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAGGING_FUZZ=ON -DSANITIZE=address,undefined -DTAGGING_TESTS=OFF \
      -DTAGGING_GUI=OFF -DTAGGING_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  ctest --test-dir build-fuzz -j"$jobs" --output-on-failure -L fuzz
fi
echo "== all tests passed"
