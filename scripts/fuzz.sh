#!/usr/bin/env bash
# Open-ended fuzzing: explores with fresh random seeds for as long as asked,
# where CI's fuzz stage only replays the seeds and a fixed, repeatable
# exploration from them.
#
#   scripts/fuzz.sh [--time SECONDS] [FUZZER...]
#
# Runs every fuzz target (or the ones named, e.g. quorvel_answer_fuzzer) for
# SECONDS each (default 600) in build-fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer). Each target keeps what it learns in
# build-fuzz/fuzz/<target>/explore/, so later runs go on from there. A crash
# stops that target and leaves its input as build-fuzz/fuzz/<target>/crash-*;
# the script ends by listing the inputs found and what to do with them.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=600
targets=()
while (($#)); do
  case "$1" in
    --time) seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is needed (scripts/install_deps.sh installs it)" >&2; exit 1; }
echo "== building the fuzz targets in build-fuzz/"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAGGING_FUZZ=ON -DSANITIZE=address,undefined -DTAGGING_TESTS=OFF \
    -DTAGGING_GUI=OFF -DTAGGING_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

if ((${#targets[@]} == 0)); then
  for dir in build-fuzz/fuzz/*/; do targets+=("$(basename "$dir")"); done
fi

found=()
for target in "${targets[@]}"; do
  work=build-fuzz/fuzz/$target
  [ -x "build-fuzz/bin/$target" ] || { echo "fuzz.sh: no fuzz target '$target'" >&2; exit 2; }
  seeds=$(cat "$work/seeds.txt")
  mkdir -p "$work/explore"
  echo "== $target: ${seconds}s from $work/explore and the seeds in ${seeds#"$PWD"/}"
  dirs=("$work/explore")
  [ -d "$seeds" ] && dirs+=("$seeds")
  # The first folder takes what is found; the seed folder is only read.
  "build-fuzz/bin/$target" -max_total_time="$seconds" \
      -timeout=5 -rss_limit_mb=2048 -artifact_prefix="$work/" "${dirs[@]}" 2>&1 |
    grep -E '^(#[0-9]+ +(DONE|pulse)|==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' || true
  for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$crash" ] && found+=("$target $crash ${seeds#"$PWD"/}")
  done
done

if ((${#found[@]})); then
  echo
  echo "Inputs that failed (target, input, seed folder):"
  printf '  %s\n' "${found[@]}"
  cat <<'TEXT'

Reproduce one with build-fuzz/bin/<target> <input>. Once the fault is fixed,
copy the input into the target's seed folder under a name that says what it
caught (e.g. regress-feno-generic-answer-length): CI replays every seed, so
the fault stays fixed.
TEXT
  exit 1
fi
echo "== no failing inputs"
