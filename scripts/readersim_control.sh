# Sourced by the demo and picture scripts: a simulated reader driven through
# a control pipe. The caller sets who (its name for messages) and keeps
# sim_pid for its clean-up.
#
#   start_readersim BIN FAMILY PORT DIR [TAGFILE]
#     starts BIN/readersim of FAMILY as COM<PORT> of the port folder DIR
#     (its log in DIR/readersim.log, its commands from the pipe DIR/control,
#     open on descriptor 3) and waits until it has published the port.
#   sim_take COMMAND...
#     a live command ("place TAGLINE", "remove UID", "dump UID"); returns once
#     the simulator has answered, with sim_before the log's line count before.

start_readersim() {
  local bin=$1 family=$2 port=$3 dir=$4 tags=${5:-$4/tags.txt}
  mkfifo "$dir/control"
  "$bin/readersim" --family "$family" --port "$port" --dir "$dir" --tags "$tags" --quiet \
    <"$dir/control" >"$dir/readersim.log" 2>&1 &
  sim_pid=$!
  sim_log=$dir/readersim.log
  exec 3>"$dir/control"
  for _ in $(seq 100); do
    [[ -e $dir/COM$port ]] && return 0
    kill -0 "$sim_pid" 2>/dev/null || { echo "$who: readersim did not start" >&2; exit 1; }
    sleep 0.1
  done
  echo "$who: readersim did not publish COM$port" >&2
  exit 1
}

sim_take() {
  sim_before=$(wc -l <"$sim_log")
  echo "$*" >&3
  for _ in $(seq 100); do
    (($(wc -l <"$sim_log") > sim_before)) && return 0
    sleep 0.05
  done
  echo "$who: readersim did not take '$*'" >&2
  exit 1
}
