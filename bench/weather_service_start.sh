#!/usr/bin/env bash
# Times the weather service's start with every region file of the build loaded, as a whole
# process: from launching it to its "listening on" line (median of RUNS starts; target at most
# 200 ms), and its resident memory once listening (median; target at most 40 MB).
#
# Usage: bench/weather_service_start.sh [BUILD_DIR] [RUNS]     (defaults: build, 11)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file. Exits 1 when a target
# is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-11}
service=$build/bin/weather-service
regions=$build/share/cirrodex/citycodes
[ -x "$service" ] || { echo "missing $service: build it first" >&2; exit 2; }
count=$(cat "$regions"/*.csv 2>/dev/null | wc -l)
((count > 0)) || { echo "no region files in $regions: build cirrodex_citycodes" >&2; exit 2; }

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

starts=()
memory=()
for _ in $(seq "$runs"); do
  begin=$(date +%s%N)
  coproc SERVICE { exec "$service" --port 0 --upstream none --regions "$regions" 2>/dev/null; }
  pid=$SERVICE_PID
  line=
  read -r -t 10 line <&"${SERVICE[0]}" || true
  end=$(date +%s%N)
  [[ $line == "listening on"* ]] || { echo "no listening line (got: $line)" >&2; kill "$pid"; exit 2; }
  starts+=("$(( (end - begin) / 1000 ))")
  memory+=("$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done

start_us=$(printf '%s\n' "${starts[@]}" | median)
rss_kb=$(printf '%s\n' "${memory[@]}" | median)
echo "locations in the region files: $count"
echo "start to \"listening on\": median $((${start_us%.*} / 1000)) ms over $runs starts (target <= 200 ms)"
echo "resident memory once listening: median $((${rss_kb%.*} / 1024)) MB (target <= 40 MB)"
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'service_start_us\t%s\nservice_rss_kb\t%s\n' "$start_us" "$rss_kb" >>"$BENCH_FIGURES"
fi
((${start_us%.*} <= 200000 && ${rss_kb%.*} <= 40 * 1024))
