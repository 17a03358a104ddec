#!/usr/bin/env bash
# The tagging workstation without hardware: builds the desktop program
# Tagging and the simulated reader, starts a simulated reader with a blank
# book tag on it as COM3 of a temporary port folder, and brings Tagging up
# against it with settings of its own (library 44120, verification and
# locking on, the work logs in the temporary folder). Everything it starts is
# stopped and the folder removed when it ends.
#
#   scripts/demo.sh [--scripted] [FAMILY]
#
# FAMILY: the reader family, feno (default), orba or talu.
#
# With a display the program comes up full screen for you: type a barcode
# into "条码号" and press Enter to program the tag on the reader; type the
# simulator's commands here meanwhile (place, remove, list, dump; "help" lists
# them) to lay other tags on the reader. Leave with "退 出"; the script then
# shows the tags' memory and the logs.
#
# Without a display (or with --scripted) the run is scripted under Xvfb:
# three books are programmed one after another (tag laid on, barcode scanned,
# tag taken off), a picture of the screen is saved to
# build-demo/tagging-demo.png, continuous reading lists the three tags, and
# the script shows their memory and the logs.
set -euo pipefail
cd "$(dirname "$0")/.."
who=demo
source scripts/readersim_control.sh
scripted=0
if [[ ${1:-} == --scripted ]]; then
  scripted=1
  shift
fi
[[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]] || scripted=1
family=${1:-feno}
build=build-demo
port=3
shot=$PWD/$build/tagging-demo.png

echo "== building Tagging, readersim and Dalrix.so into $build/bin"
echo "   (the first time this compiles the whole stack, some minutes on a small"
echo "   machine; ninja shows each step as [done/all]; later runs take seconds)"
echo "-- configuring $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAGGING_TESTS=OFF -DTAGGING_BENCH=OFF -DTAGGING_GUI=ON >/dev/null
echo "-- compiling"
cmake --build "$build" -j"$(nproc)" --target Tagging readersim Dalrix
bin=$PWD/$build/bin

if ! "$bin/readersim" --families | grep -q "^$family "; then
  echo "demo: no simulated reader family '$family'; there are:" >&2
  "$bin/readersim" --families >&2
  exit 2
fi
if ((scripted)) && ! command -v xvfb-run >/dev/null; then
  echo "demo: no display and no xvfb-run (scripts/install_deps.sh installs it)" >&2
  exit 2
fi

dir=$(mktemp -d /tmp/tagging-demo-XXXXXX)
sim_pid=""
tagging_pid=""
cleanup() {
  local status=$?
  exec 3>&- 2>/dev/null || true   # the simulator's input ends
  if [[ -n $tagging_pid ]]; then
    kill "$tagging_pid" 2>/dev/null || true
    wait "$tagging_pid" 2>/dev/null || true
  fi
  if [[ -n $sim_pid ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if ((status != 0)); then
    for log in readersim.log tagging.log; do
      if [[ -s $dir/$log ]]; then
        echo "-- $log:" >&2
        tail -n 20 "$dir/$log" >&2
      fi
    done
  fi
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The program's settings store (per user) and work directory live in the
# temporary folder, so the demo leaves the user's own settings alone.
export XDG_CONFIG_HOME=$dir/config
export TAGGING_PORT_DIR=$dir
mkdir -p "$dir/work" "$XDG_CONFIG_HOME/Local AppWizard-Generated Applications"
cat >"$XDG_CONFIG_HOME/Local AppWizard-Generated Applications/Tagging.ini" <<EOF
[LastEnv]
LibraryID=44120
WorkPath=$dir/work
VerifyWrite=1
SetLock=1
Location=2
Type=0
EOF

# Blank tags (EAS-capable chips, 28 empty blocks); the first lies on the reader.
blanks=(E004010000000101 E004010000000102 E004010000000103)
echo "${blanks[0]} eas=0" >"$dir/tags.txt"

start_readersim "$bin" "$family" "$port" "$dir"

# A command to the simulator; prints what it answered.
sim() {
  sim_take "$@"
  sleep 0.1   # the rest of a longer answer (dump)
  tail -n +"$((sim_before + 1))" "$sim_log" | sed 's/^/  /'
}

# What the blocks of a book tag hold, next to readersim's dump lines (block
# values as numbers; the layout of the tag mapping library's books).
decode_book() {
  awk '
    function hex(s,   i, v) {
      for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789ABCDEF", substr(s, i, 1)) - 1
      return v
    }
    function bits(v, hi, lo) { return int(v / 2 ^ lo) % 2 ^ (hi - lo + 1) }
    $1 == "block" && $2 <= 7 {
      v = hex(toupper($3)); n = $2; what = ""
      if (n == 0) what = sprintf("format %d, type %d (%s), identifier above 32 bits: %.0f", bits(v, 31, 28),
                                 bits(v, 27, 25), bits(v, 27, 25) == 0 ? "book" : "not a book", bits(v, 24, 0))
      if (n == 1) { id = v; what = sprintf("identifier %.0f", v) }
      if (n == 2) { loc = bits(v, 30, 23)
                    what = sprintf("holding location %d%c, media type %d, %s", int(loc / 32), 65 + loc % 32,
                                   bits(v, 22, 18), bits(v, 31, 31) ? "reference" : "not reference") }
      if (n == 3) what = sprintf("library %.0f", v) (v == 44120 ? sprintf(": identifier %.0f is barcode %.0f", id, 4412000000000 + id) : "")
      if (n == 4) what = bits(v, 21, 12) == 78 ? "no date (year field 78 is year 0)" : sprintf("date %d-%02d-%02d",
                         1970 + bits(v, 21, 12), bits(v, 30, 27), bits(v, 26, 22))
      if (n >= 5) what = v == 0 ? "spare" : "spare, not empty"
      printf "%-48s %s\n", $0, what
      next
    }
    { print }'
}

show_results() {
  echo
  echo "== the tags' memory (readersim dump, blocks 0 to 7; what they hold on the right)"
  for uid in "${blanks[@]}"; do
    echo "\$ readersim: dump $uid"
    sim "dump $uid" >"$dir/dump"
    head -n 9 "$dir/dump" | decode_book
  done
  echo
  echo "== the work logs in the work directory"
  for log in "$dir"/work/*; do
    [[ -e $log ]] || continue
    echo "-- ${log##*/}"
    cat "$log"
  done
}

echo
echo "== a simulated $family reader on COM$port (port folder $dir), a blank tag ${blanks[0]} on it"

if ((!scripted)); then
  (cd "$bin" && exec ./Tagging) >"$dir/tagging.log" 2>&1 &
  tagging_pid=$!
  cat <<EOF

Tagging is up on your display, connected to the simulated reader on COM$port.
Type a barcode (e.g. 4412000000101) into 条码号 and press Enter: the tag on the
reader is programmed and listed. Meanwhile, type the simulator's commands here:
  remove ${blanks[0]}            take the written tag off
  place ${blanks[1]} eas=0        lay a new blank tag on
  list | dump UID | help
Leave the program with 退 出.
EOF
  while kill -0 "$tagging_pid" 2>/dev/null; do
    if IFS= read -r -t 1 line; then
      [[ -n $line ]] && sim "$line"
    elif (($? <= 128)); then   # input ended: wait for the program
      wait "$tagging_pid" || true
    fi
  done
  tagging_pid=""
  show_results
  exit 0
fi

# Scripted: the program takes its staff actions from us (Tagging --drive).
coproc TAGGING {
  cd "$bin" && exec xvfb-run -a -s "-screen 0 1280x1024x24" ./Tagging --drive 2>"$dir/tagging.log"
}
tagging_pid=$TAGGING_PID
to_tagging=${TAGGING[1]}
from_tagging=${TAGGING[0]}

# The program's answer to one command (message lines first).
answer() {
  local line
  while IFS= read -r -t 60 line <&"$from_tagging"; do
    echo "  Tagging: $line"
    [[ $line == message* ]] || { last_answer=$line; return 0; }
  done
  echo "demo: Tagging did not answer" >&2
  exit 1
}
drive() {
  echo "\$ Tagging: $*"
  echo "$*" >&"$to_tagging"
  answer
}

echo
echo "== Tagging under Xvfb, driven by this script"
answer   # how the connection went
[[ $last_answer == connected* ]] || { echo "demo: Tagging did not connect" >&2; exit 1; }
barcode=4412000000100
for i in "${!blanks[@]}"; do
  uid=${blanks[$i]}
  if ((i > 0)); then
    echo "\$ readersim: place $uid eas=0"
    sim "place $uid eas=0"
  fi
  drive "scan $((barcode + i + 1))"
  [[ $last_answer == written* ]] || { echo "demo: the book was not written" >&2; exit 1; }
  echo "\$ readersim: remove $uid"
  sim "remove $uid"
done
drive "wait 500"
drive "shot $shot"
echo
echo "== the three books back on the reader, read tag data"
for uid in "${blanks[@]}"; do
  sim "place $uid" >/dev/null
done
drive "read"
drive "wait 1500"
drive "rows"
echo "\$ Tagging: quit"
echo quit >&"$to_tagging"
wait "$tagging_pid" || true
tagging_pid=""
show_results
echo
echo "== done; the screen as the program showed it: $shot"
