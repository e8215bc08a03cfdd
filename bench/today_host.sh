#!/usr/bin/env bash
# Times and weighs the Today screen with the plug-in, as whole processes:
#   startup  from launching today-host to its first painted strip with stored weather (median of
#            RUNS launches; target at most 300 ms)
#   idle     CPU of host and item over IDLE seconds while nothing is due (target under 0.5% of one
#            core), their resident memory (target at most 60 MB) and what the plug-in adds to it
#            against a host without items (target at most 3 MB)
#
# Usage: bench/today_host.sh [BUILD_DIR] [RUNS] [IDLE]     (defaults: build, 11, 60)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file. Exits 1 when a target
# is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-11}
idle=${3:-60}
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs weather-service cirrodex-install cirrodex-reg today-host gantrel

work=$(mktemp -d)
service_pid=
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  stop_weather_service
  rm -rf "$work"
}
trap cleanup EXIT

start_weather_service
port=$service_port
export CIRRODEX_FEED_BASE="http://127.0.0.1:$port/m/chnk/d/weather_d_src.asp?acid="

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

# One device folder with the item registered and London stored; nothing due for a day.
export CIRRODEX_DEVICE=$work/device
"$bin/cirrodex-install" --register >/dev/null
"$CIRRODEX_DEVICE/program files/velbrook/nimbrel/Gantrel.exe" /downloadandexit
settings='HKCU\SOFTWARE\Velbrook\Cirrodex'
"$bin/cirrodex-reg" add "$settings" /v UpdateRate /t REG_DWORD /d 1440 /f >/dev/null
result=$("$bin/cirrodex-reg" query "$settings\\UKXX0085" /v DownloadResult | grep -o '0x[0-9a-f]*' || true)
[ "$result" = "0xc8" ] || { echo "the download did not store 200 (got $result)" >&2; exit 2; }

startup=()
for _ in $(seq "$runs"); do
  begin=$(date +%s%N)
  line=$("$bin/today-host" --snapshot "$work/startup.png" --after 0.3 --measure-startup 2>&1 |
         grep "first item painted" || true)
  painted=$(grep -o 'wall [0-9]*' <<<"$line" | cut -d' ' -f2)
  [ -n "$painted" ] || { echo "no strip was painted" >&2; exit 2; }
  startup+=("$(( (painted - begin) / 1000 ))")
done
startup_ms=$(printf '%s\n' "${startup[@]}" | median | awk '{printf "%.1f", $1 / 1000}')

# Nanoseconds on a CPU, every thread of the process (the worker included).
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {printf "%d", sum}'; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# Runs a host for the idle period after its start has settled (the worker's start launches a
# download and reads it back after 10 s); prints "cpu_percent rss_kb".
idle_run() {
  "$bin/today-host" --snapshot "$work/idle.png" --after $((idle + 20)) 2>/dev/null &
  host_pid=$!
  sleep 15
  local before after rss
  before=$(cpu_ns "$host_pid")
  sleep "$idle"
  after=$(cpu_ns "$host_pid")
  rss=$(rss_kb "$host_pid")
  kill "$host_pid"
  wait "$host_pid" 2>/dev/null || true
  host_pid=
  awk -v b="$before" -v a="$after" -v s="$idle" -v r="$rss" \
    'BEGIN {printf "%.4f %d\n", (a - b) / 1e9 / s * 100, r}'
}

read -r idle_cpu idle_rss < <(idle_run)

# The same host without any item, for what the plug-in adds.
export CIRRODEX_DEVICE=$work/empty
"$bin/cirrodex-install" >/dev/null
idle_saved=$idle
idle=5
read -r _ bare_rss < <(idle_run)
idle=$idle_saved

plugin_kb=$((idle_rss - bare_rss))
echo "startup to first painted strip: median ${startup_ms} ms over $runs runs (target <= 300)"
echo "idle CPU of host and item over ${idle} s: ${idle_cpu}% of one core (target < 0.5)"
echo "resident memory of host and item: $((idle_rss / 1024)) MB (${idle_rss} kB; target <= 60 MB)"
echo "added by the plug-in: ${plugin_kb} kB (target <= 3072 kB)"

if [ -n "${BENCH_FIGURES:-}" ]; then
  {
    printf 'host_startup_ms\t%s\n' "$startup_ms"
    printf 'host_idle_cpu_percent\t%s\nhost_idle_seconds\t%s\n' "$idle_cpu" "$idle"
    printf 'host_rss_kb\t%s\nhost_plugin_kb\t%s\n' "$idle_rss" "$plugin_kb"
  } >>"$BENCH_FIGURES"
fi

status=0
awk -v v="$startup_ms" 'BEGIN {exit !(v <= 300)}' || status=1
awk -v v="$idle_cpu" 'BEGIN {exit !(v < 0.5)}' || status=1
[ "$idle_rss" -le $((60 * 1024)) ] || status=1
[ "$plugin_kb" -le 3072 ] || status=1
exit $status
