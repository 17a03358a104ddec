#!/usr/bin/env bash
# The workstation in a minute, without hardware: builds the command-line
# tool and the simulated readers, lays library tags on a simulated reader
# published as COM3 in a temporary port folder (a book; then a patron card
# in its place; then the book, the card and a shelf tag together), and lets
# tagctl find the reader and read and count the tags. Everything it starts
# is stopped on exit.
#
#   scripts/tagctl_demo.sh [FAMILY]     reader family: feno (default), orba, talu or dalrix
set -euo pipefail
cd "$(dirname "$0")/.."
who=demo
source scripts/readersim_control.sh
family=${1:-feno}
build=build-demo
port=3

echo "== building tagctl, readersim and Dalrix.so into $build/bin"
echo "   (the first time this compiles the libraries, a few minutes on a small"
echo "   machine; ninja shows each step as [done/all]; later runs take seconds)"
echo "-- configuring $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAGGING_TESTS=OFF -DTAGGING_GUI=OFF -DTAGGING_BENCH=OFF >/dev/null
echo "-- compiling"
cmake --build "$build" -j"$(nproc)" --target tagctl readersim Dalrix
bin=$PWD/$build/bin

if ! "$bin/readersim" --families | grep -q "^$family "; then
  echo "demo: no simulated reader family '$family'; there are:" >&2
  "$bin/readersim" --families >&2
  exit 2
fi

ports=$(mktemp -d /tmp/tagging-demo-XXXXXX)
sim_pid=""
cleanup() {
  local status=$?
  exec 3>&- 2>/dev/null || true   # the simulator's input ends
  if [[ -n $sim_pid ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if ((status != 0)) && [[ -s $ports/readersim.log ]]; then
    echo "-- readersim's output:" >&2
    tail -n 20 "$ports/readersim.log" >&2
  fi
  rm -rf "$ports"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A book of library 44120 (barcode 4412000012345, holding location 2A,
# stored as its short number 12345), a patron card and a shelf tag, as the
# workstation writes them: blocks 0 to 7, AFI, EAS bit, locks.
book="E004010012345678 afi=91 eas=1 locked=0-1 10000000 00003039 20040000 0000AC58 9BC38000"
card="E0040100AABBCCDD afi=92 eas=0 12000000 013524A1 9086E040 0000AC58 8F876000"
shelf="E004010055667788 afi=93 eas=0 14000000 00000BB9 00000000 0000AC58"
echo "$book" >"$ports/tags.txt"

# The simulator takes its live commands (tags on and off the antenna) from a pipe.
start_readersim "$bin" "$family" "$port" "$ports"
sim() { sim_take "$@"; }

export TAGGING_PORT_DIR=$ports
run() {
  echo
  echo "\$ tagctl --port $port $*"
  "$bin/tagctl" --port $port "$@"
}

echo
echo "== a simulated $family reader on COM$port (port folder $ports), one book on it"
run info
run read
echo
echo "== the book taken off, a patron card laid on"
sim "remove E004010012345678"
sim "place $card"
run read
run --json read --raw
echo
echo "== the book laid back beside the card, and a shelf tag: three tags on the reader"
[[ $family == dalrix ]] && echo "   (a second-make reader's inventory answers with one tag: it counts at most 1)"
sim "place E004010012345678"
sim "place $shelf"
run count
run count --type book
run count --type shelf
echo
echo "== done"
