#!/usr/bin/env bash
# The Debian package as a library's IT person meets it: builds it, installs
# it with dpkg -i, runs the installed programs from outside the source tree
# and without LD_LIBRARY_PATH (tagctl --version; tagctl info and read against
# the installed readersim, once through a port folder and once through the
# user's port map; Tagging --screenshot headless against the simulated
# reader), compiles a C program against the installed headers through
# pkg-config, then removes the package with dpkg -r and checks that nothing
# is left behind: no file of the package, no record in dpkg. Needs root;
# takes about a minute once the build is done.
#
#   scripts/package_test.sh [BUILD_DIR]     (see scripts/package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
pkg=tagging-workstation
port=3

if ((EUID != 0)); then
  echo "package_test: needs root (dpkg -i, dpkg -r)" >&2
  exit 2
fi
if dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q installed; then
  echo "package_test: $pkg is installed on this machine already; remove it first (dpkg -r $pkg)" >&2
  exit 2
fi

scripts/package.sh "$build"
deb=$(cd "$build" && ls "$PWD/${pkg}"_*.deb | head -n 1)

work=$(mktemp -d /tmp/tagging-package-XXXXXX)
chmod 755 "$work"
installed=0
sim_pid=""
cleanup() {
  local status=$?
  exec 3>&- 2>/dev/null || true
  if [[ -n $sim_pid ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if ((installed)); then
    dpkg -r "$pkg" >/dev/null 2>&1 || true
  fi
  if ((status != 0)) && [[ -s $work/readersim.log ]]; then
    echo "-- readersim's output:" >&2
    tail -n 20 "$work/readersim.log" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() {
  echo "package_test: $*" >&2
  exit 1
}

# Which of the package's paths (and the system's port map folder) are there:
# after dpkg -r exactly those that were there before (shared folders) may be.
paths() {
  { dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\.||; s|/$||' | grep .; echo /etc/tagging; } |
    while read -r path; do
      if [[ -e $path || -L $path ]]; then echo "there $path"; else echo "absent $path"; fi
    done
}
paths >"$work/before"

echo
echo "== dpkg -i $deb"
dpkg -i "$deb"
installed=1

# The installed programs, run as a user would: from another folder, with the
# environment of a login (no library path).
cd "$work"
unset LD_LIBRARY_PATH
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
for program in Tagging tagctl readersim; do
  [[ $(command -v "$program") == /usr/bin/$program ]] || fail "$program is not installed in /usr/bin"
done

echo
echo "== tagctl --version"
tagctl --version | tee "$work/version"
grep -q '^tagctl [0-9]' "$work/version" || fail "tagctl --version did not name its version"

echo
echo "== the installed readersim with a book on it, as COM$port of a port folder"
mkdir -p "$work/ports"
echo "E004010012345678 afi=91 eas=1 locked=0-1 10000000 00003039 20040000 0000AC58 9BC38000" >"$work/tags.txt"
mkfifo "$work/control"
readersim --family feno --port $port --dir "$work/ports" --tags "$work/tags.txt" \
  <"$work/control" >"$work/readersim.log" 2>&1 &
sim_pid=$!
exec 3>"$work/control"
for _ in $(seq 100); do
  [[ -e $work/ports/COM$port ]] && break
  sleep 0.1
done
[[ -e $work/ports/COM$port ]] || fail "readersim did not publish COM$port"

echo "\$ TAGGING_PORT_DIR=$work/ports tagctl --port $port info"
TAGGING_PORT_DIR=$work/ports tagctl --port $port info | tee "$work/info"
grep -q 'FENO (5)' "$work/info" || fail "tagctl info did not find the FENO reader"

echo
echo "== the same reader as COM4 of the user's port map"
tagctl ports --map COM4 "$work/ports/COM$port"
tagctl ports | grep '^COM4'
tagctl --port 4 read | tee "$work/read"
grep -q '4412000012345' "$work/read" || fail "tagctl read through the port map did not read the book"

echo
echo "== Tagging --screenshot under Xvfb, against the simulated reader on COM$port"
before=$(grep -c ' <- ' "$work/readersim.log" || true)
TAGGING_PORT_DIR=$work/ports xvfb-run -a -s "-screen 0 1280x1024x24" \
  Tagging --screenshot "$work/tagging.png" --screenshot-delay 3000
[[ $(head -c 8 "$work/tagging.png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] ||
  fail "Tagging saved no picture"
after=$(grep -c ' <- ' "$work/readersim.log" || true)
((after > before)) || fail "Tagging did not talk to the reader"
echo "saved $work/tagging.png ($((after - before)) reader commands on the way)"

echo
echo "== the desktop entry, manual pages, completion, headers and pkg-config files"
grep -q '^Name\[zh_CN\]=' /usr/share/applications/tagging.desktop || fail "no Chinese name in the desktop entry"
icon=$(sed -n 's/^Icon=//p' /usr/share/applications/tagging.desktop)
ls /usr/share/icons/hicolor/*/apps/"$icon".* >/dev/null || fail "no icon $icon in the hicolor theme"
for page in Tagging tagctl readersim; do
  ls /usr/share/man/man1/"$page".1* >/dev/null || fail "no manual page for $page"
done
[[ -f /usr/share/bash-completion/completions/tagctl ]] || fail "no bash completion for tagctl"
cat >"$work/version.c" <<'EOF'
#include <brenholt.h>
#include <dalrix.h>
#include <linvaro.h>
#include <quorvel.h>
#include <stdio.h>
int main(void)
{
    brnVersion version = {0};
    brnGetVersion(&version);
    printf("%s\n", version.versionText);
    return 0;
}
EOF
cc=$(command -v gcc || echo "g++ -x c")
# shellcheck disable=SC2046
$cc -std=c11 -Wall -Werror "$work/version.c" -o "$work/version" $(pkg-config --cflags --libs brenholt quorvel linvaro)
"$work/version"

echo
echo "== dpkg -r $pkg"
exec 3>&-
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=""
dpkg -r "$pkg"
installed=0
if dpkg-query -W "$pkg" >/dev/null 2>&1; then
  fail "dpkg still keeps a record of $pkg: $(dpkg-query -W -f='${Status}' "$pkg")"
fi
if ! paths | diff "$work/before" - >"$work/left"; then
  cat "$work/left" >&2
  fail "the package left these behind (lines above)"
fi
echo "nothing left behind"
echo "== package test passed"
