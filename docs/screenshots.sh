#!/usr/bin/env bash
# Draws the pictures of the book, patron card, shelf tag and tag check pages
# in docs/ from the running program: builds Tagging, readersim and Dalrix.so
# into build-demo/bin, starts a simulated FENO reader as COM3 of a temporary
# port folder, and drives Tagging (--drive) under Xvfb through each page as
# staff would: three books, three patron cards and three shelf tags are
# programmed, then a book, a card, a shelf tag and an empty tag pass the
# reader on the tag check page. The program's settings and work logs live in the temporary
# folder, which is removed at the end.
#
#   docs/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
who=screenshots
source scripts/readersim_control.sh
build=build-demo
port=3
docs=$PWD/docs

command -v xvfb-run >/dev/null || { echo "screenshots: no xvfb-run (scripts/install_deps.sh installs it)" >&2; exit 2; }
echo "== building Tagging, readersim and Dalrix.so (into $build/bin)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAGGING_TESTS=OFF -DTAGGING_BENCH=OFF -DTAGGING_GUI=ON >/dev/null
cmake --build "$build" -j2 --target Tagging readersim Dalrix | tail -n 1
bin=$PWD/$build/bin

dir=$(mktemp -d /tmp/tagging-shots-XXXXXX)
sim_pid=""
tagging_pid=""
cleanup() {
  exec 3>&- 2>/dev/null || true
  [[ -n $tagging_pid ]] && { kill "$tagging_pid" 2>/dev/null || true; wait "$tagging_pid" 2>/dev/null || true; }
  [[ -n $sim_pid ]] && { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

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
EOF

: >"$dir/tags.txt"
start_readersim "$bin" feno "$port" "$dir"
sim() { sim_take "$@"; }

coproc TAGGING {
  cd "$bin" && exec xvfb-run -a -s "-screen 0 1280x1024x24" ./Tagging --drive 2>"$dir/tagging.log"
}
tagging_pid=$TAGGING_PID
# One command to the program; its answer (after any message lines) must
# begin with the expected text.
drive() {
  local expected=$1 line
  shift
  echo "$*" >&"${TAGGING[1]}"
  while IFS= read -r -t 60 line <&"${TAGGING[0]}"; do
    echo "  $* -> $line"
    [[ $line == message* ]] && continue
    [[ $line == "$expected"* ]] && return 0
    echo "screenshots: expected '$expected'" >&2
    exit 1
  done
  echo "screenshots: Tagging did not answer '$*'" >&2
  exit 1
}
# Lays a blank tag on the reader, programs it with the number, takes it off.
program() {
  local uid=$1 number=$2
  sim "place $uid eas=1"
  drive written "scan $number"
  sim "remove $uid"
}

IFS= read -r -t 60 line <&"${TAGGING[0]}"
[[ $line == connected* ]] || { echo "screenshots: Tagging did not connect: $line" >&2; exit 1; }

echo "== the book page"
for i in 1 2 3; do
  program "E00401000000011$i" "441200000010$i"
done
drive waited "wait 500"
drive saved "shot $docs/book_page.png"

echo "== the patron card page"
drive page "page card"
drive set "set 读者类型 3"
drive set "set 读者证状态 1"
drive set "set 登记日期 2026-12-06"
drive set "set 有效日期 2027-12-06"
for i in 1 2 3; do
  program "E00401000000020$i" "202600000010$i"
done
drive waited "wait 500"
drive saved "shot $docs/card_page.png"

echo "== the shelf tag page"
drive page "page shelf"
drive ticked "tick 标签带EAS on"
for i in 1 2 3; do
  program "E00401000000030$i" "100000000$i"
done
drive waited "wait 500"
drive saved "shot $docs/shelf_page.png"

echo "== the tag check page: a book, a card, a shelf tag and an empty tag pass"
sim "place E004010000000101 afi=91 eas=1 locked=0-1,3 10000000 00000065 20080000 0000AC58 0004E000"
sim "remove E004010000000101"
drive page "page check"
drive ticked "tick 仅读主标识数据 off"
drive ticked "tick 检查EAS on"
drive ticked "tick 检查加锁状态 on"
drive reading "read"
for uid in E004010000000101 E004010000000201 E004010000000301; do
  sim "place $uid"
  drive waited "wait 600"
  sim "remove $uid"
done
sim "place E004010000000401 eas=0"
drive waited "wait 800"
drive rows "rows"
drive saved "shot $docs/check_page.png"

echo quit >&"${TAGGING[1]}"
wait "$tagging_pid" || true
tagging_pid=""
echo "== pictures: docs/book_page.png docs/card_page.png docs/shelf_page.png docs/check_page.png"
