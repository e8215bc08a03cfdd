#!/usr/bin/env bash
# Times whole processes: "Gantrel.exe /downloadandexit" updating six cities and refreshing the
# radar and satellite maps against the local weather service, beside one curl process fetching the
# same eight URLs. Prints the medians, the ratio (target: at most 1.3 times curl) and Gantrel's peak
# resident memory (target: 25 MB).
#
# Usage: bench/download_vs_curl.sh [BUILD_DIR] [RUNS]     (defaults: build, 21)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file (times in
# microseconds, memory in kB). Exits 1 when a target is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
runs=${2:-21}
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs weather-service cirrodex-install cirrodex-reg gantrel
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 2; }

work=$(mktemp -d)
service_pid=
cleanup() {
  stop_weather_service
  rm -rf "$work"
}
trap cleanup EXIT

export CIRRODEX_DEVICE=$work/device
"$bin/cirrodex-install" >/dev/null

start_weather_service
base=http://127.0.0.1:$service_port
export CIRRODEX_FEED_BASE="$base/m/chnk/d/weather_d_src.asp?acid="

codes=(UKXX0085 FRXX0076 SZXX0013 USNY0996 JAXX0085 ASXX0112)
urls=()
for i in "${!codes[@]}"; do
  "$bin/cirrodex-reg" add 'HKCU\SOFTWARE\Velbrook\Cirrodex' /v "CityCode$((i + 1))" \
    /t REG_SZ /d "${codes[$i]}" /f >/dev/null
  urls+=("$CIRRODEX_FEED_BASE${codes[$i]}")
done
for map in Radar:brradar1 Satellite:brsat1; do
  url="$base/weather/live/${map#*:}.jpg"
  "$bin/cirrodex-reg" add 'HKCU\SOFTWARE\Velbrook\Cirrodex' /v "${map%%:*}ImageURL" \
    /t REG_SZ /d "$url" /f >/dev/null
  urls+=("$url")
done
gantrel="$CIRRODEX_DEVICE/program files/velbrook/nimbrel/Gantrel.exe"

run_gantrel() { "$gantrel" /downloadandexit; }
curl_outputs=()
for _ in "${urls[@]}"; do curl_outputs+=(-o /dev/null); done
run_curl() { curl -s "${curl_outputs[@]}" "${urls[@]}"; }

# Wall time of one run in microseconds.
time_once() {
  local start end
  start=$(date +%s%N)
  "$@"
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Both once before timing, so that neither pays for a cold cache.
run_gantrel
run_curl
: >"$work/gantrel.times"
: >"$work/curl.times"
for _ in $(seq "$runs"); do
  time_once run_gantrel >>"$work/gantrel.times"
  time_once run_curl >>"$work/curl.times"
done
g=$(median <"$work/gantrel.times")
c=$(median <"$work/curl.times")

# Every city must really have been downloaded.
for code in "${codes[@]}"; do
  "$bin/cirrodex-reg" query "HKCU\\SOFTWARE\\Velbrook\\Cirrodex\\$code" /v DownloadResult |
    grep -q 0xc8 || { echo "$code was not downloaded" >&2; exit 1; }
done
install="$CIRRODEX_DEVICE/program files/velbrook/nimbrel"
for file in radar.jpg Satellite.jpg iconradarsatellite.bmp; do
  [ -s "$install/$file" ] || { echo "the maps were not refreshed ($file is missing)" >&2; exit 1; }
done

peak_kb=
if [ -x /usr/bin/time ]; then
  for _ in 1 2 3; do
    kb=$(/usr/bin/time -f %M "$gantrel" /downloadandexit 2>&1 >/dev/null | tail -1)
    if [ -z "$peak_kb" ] || [ "$kb" -gt "$peak_kb" ]; then peak_kb=$kb; fi
  done
fi

ratio=$(awk -v g="$g" -v c="$c" 'BEGIN { printf "%.2f", g / c }')
printf 'runs: %d, six cities and two maps each\n' "$runs"
printf 'gantrel /downloadandexit median: %8.2f ms\n' "$(awk -v v="$g" 'BEGIN { print v / 1000 }')"
printf 'curl, same eight URLs, median:   %8.2f ms\n' "$(awk -v v="$c" 'BEGIN { print v / 1000 }')"
printf 'ratio: %s (target <= 1.3)\n' "$ratio"
status=0
awk -v r="$ratio" 'BEGIN { exit !(r <= 1.3) }' || status=1
if [ -n "$peak_kb" ]; then
  printf 'gantrel peak resident memory: %.1f MB (target <= 25 MB)\n' \
    "$(awk -v k="$peak_kb" 'BEGIN { print k / 1024 }')"
  [ "$peak_kb" -le $((25 * 1024)) ] || status=1
else
  echo "gantrel peak resident memory: not measured (/usr/bin/time is missing)"
fi
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'download_gantrel_us\t%s\ndownload_curl_us\t%s\n' "$g" "$c" >>"$BENCH_FIGURES"
  [ -z "$peak_kb" ] || printf 'download_peak_rss_kb\t%s\n' "$peak_kb" >>"$BENCH_FIGURES"
fi
exit $status
