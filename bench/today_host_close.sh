#!/usr/bin/env bash
# Times the Today screen's close in each state of the item's worker, as whole processes: a host
# with the item is started, sent SIGTERM at a moment that finds the worker in the state, and timed
# from the signal to its exit (median of RUNS closes per state; target at most 1 s each).
#   waiting after the start's launch            feed host refusing, SIGTERM at 3 s
#   waiting after a pass's launch               feed host refusing, SIGTERM at 14 s
#   sleeping between tries                      feed host refusing, SIGTERM at 25 s
#   a download under way, waiting after launch  feed host that never answers, SIGTERM at 5 s
#   a download under way, sleeping             feed host that never answers, SIGTERM at 15 s
# The downloads a host started are left to finish on their own, as the host leaves them.
#
# Usage: bench/today_host_close.sh [BUILD_DIR] [RUNS]     (defaults: build, 3)
# With $BENCH_FIGURES set, also appends "host_close_ms_<key><TAB>value" lines to that file.
# Exits 1 when a target is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-3}
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs cirrodex-install today-host gantrel

work=$(mktemp -d)
host_pid=
silent_pid=
cleanup() {
  [ -n "$host_pid" ] && kill -9 "$host_pid" 2>/dev/null
  [ -n "$silent_pid" ] && kill "$silent_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

# A port that refuses (taken free, then let go) and a listener that accepts and never answers.
refusing=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(64)
print(s.getsockname()[1], flush=True)
held = []
while True:
    held.append(s.accept()[0])
' >"$work/silent.port" &
silent_pid=$!
for _ in $(seq 100); do [ -s "$work/silent.port" ] && break; sleep 0.05; done
silent=$(cat "$work/silent.port")

export CIRRODEX_DEVICE=$work/device
export QT_QPA_PLATFORM=offscreen
"$bin/cirrodex-install" --register >/dev/null

# close_ms PORT SECONDS: one host against the feed host on PORT, closed after SECONDS.
close_ms() {
  export CIRRODEX_FEED_BASE="http://127.0.0.1:$1/m/chnk/d/weather_d_src.asp?acid="
  "$bin/today-host" >/dev/null 2>&1 &
  host_pid=$!
  sleep "$2"
  local begin end
  begin=$(date +%s%N)
  kill -TERM "$host_pid"
  wait "$host_pid" 2>/dev/null || true
  end=$(date +%s%N)
  host_pid=
  echo $(((end - begin) / 1000000))
}

status=0
while read -r key port after name; do
  times=()
  for _ in $(seq "$runs"); do times+=("$(close_ms "$port" "$after")"); done
  ms=$(printf '%s\n' "${times[@]}" | median)
  echo "close while $name: median ${ms} ms over $runs runs (${times[*]}; target <= 1000)"
  [ -n "${BENCH_FIGURES:-}" ] && printf 'host_close_ms_%s\t%s\n' "$key" "$ms" >>"$BENCH_FIGURES"
  awk -v v="$ms" 'BEGIN {exit !(v <= 1000)}' || status=1
done <<EOF2
start_launch $refusing 3 waiting after the start's launch
pass_launch $refusing 14 waiting after a pass's launch
between_tries $refusing 25 sleeping between tries
run_launch $silent 5 a download under way, waiting after its launch
run_sleeping $silent 15 a download under way, sleeping
EOF2
exit $status
