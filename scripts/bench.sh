#!/usr/bin/env bash
# The performance report: builds the benchmarks (the regular optimised build
# in build/) and runs every one of them; it ends with one table of each
# measured figure next to its limit measured in the same run, the ratio and
# the target. Arguments go to bench_all (--quick, --only NAME).
# Run it on an otherwise idle machine: other load shows in every figure.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target bench_all >/dev/null
cd build/bin
exec ./bench_all "$@"
