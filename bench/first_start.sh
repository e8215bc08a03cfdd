#!/usr/bin/env bash
# Times a first start as a whole process: from launching an installed today-host with an empty
# home to its first painted strip with downloaded weather, the device folder's layout, the start
# of the screen's own weather service and the first download included (median of RUNS starts,
# each with a fresh home; target at most 3 s). The service runs on a free port with made-up
# weather only, so no request leaves 127.0.0.1.
#
# Usage: bench/first_start.sh [BUILD_DIR] [RUNS]     (defaults: build, 5)
# With $BENCH_FIGURES set, also appends "first_start_ms<TAB>value" to that file. Exits 1 when the
# target is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
bin=$work/prefix/bin
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
unset CIRRODEX_DEVICE DISPLAY WAYLAND_DISPLAY
export CIRRODEX_FEED_BASE="http://127.0.0.1:$port/m/chnk/d/weather_d_src.asp?acid="
export CIRRODEX_SERVICE_PORT=$port CIRRODEX_SERVICE_UPSTREAM=none
# The service the screen starts outlives it; after a second without requests it is gone, so that
# every start includes starting it.
export CIRRODEX_SERVICE_IDLE_EXIT=1
port_free() { python3 -c "import socket,sys; sys.exit(socket.socket().connect_ex(('127.0.0.1', $port)) == 0)"; }
wait_port_free() { for _ in $(seq 100); do port_free && return; sleep 0.1; done; }

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

times=()
for run in $(seq "$runs"); do
  export HOME=$work/home$run
  mkdir "$HOME"
  begin=$(date +%s%N)
  line=$("$bin/today-host" --snapshot "$work/first.png" --after 0.3 --measure-startup 2>&1 |
         grep "first item painted" || true)
  painted=$(grep -o 'wall [0-9]*' <<<"$line" | cut -d' ' -f2)
  [ -n "$painted" ] || { echo "no strip was painted" >&2; exit 2; }
  result=$("$bin/cirrodex-reg" query 'HKCU\SOFTWARE\Velbrook\Cirrodex\UKXX0085' /v DownloadResult |
           grep -o '0x[0-9a-f]*' || true)
  [ "$result" = "0xc8" ] || { echo "the first start stored no weather (got $result)" >&2; exit 2; }
  times+=("$(( (painted - begin) / 1000 ))")
  wait_port_free
done
first_ms=$(printf '%s\n' "${times[@]}" | median | awk '{printf "%.1f", $1 / 1000}')
echo "empty home to first painted strip with downloaded weather: median ${first_ms} ms over $runs runs (target <= 3000)"
[ -n "${BENCH_FIGURES:-}" ] && printf 'first_start_ms\t%s\n' "$first_ms" >>"$BENCH_FIGURES"
awk -v v="$first_ms" 'BEGIN {exit !(v <= 3000)}'
