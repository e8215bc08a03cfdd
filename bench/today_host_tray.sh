#!/usr/bin/env bash
# The Today host in the desktop's panel, as whole processes on Xvfb in a private D-Bus session
# with a stand-in StatusNotifierWatcher (tests/host/panel_test.py --watcher):
#   idle    CPU of `today-host --tray` over IDLE seconds, its window hidden, while nothing is due
#           (target under 0.5% of one core)
#   memory  its resident memory against the Today host without the panel: BASE_BUILD_DIR's
#           today-host with its window shown (default: the same build without --tray; target
#           at most 5 MB more)
#
# Usage: bench/today_host_tray.sh [BUILD_DIR] [IDLE] [BASE_BUILD_DIR]   (defaults: build, 60)
# Exits 2 (and says why) where Xvfb, dbus-run-session or python3-dbus is missing; 1 when a
# target is missed. With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
idle=${2:-60}
base=$(cd "${3:-$build}" && pwd)

if [ -z "${CIRRODEX_BENCH_INNER:-}" ]; then
  for tool in Xvfb dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
  done
  /usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "python3-dbus is missing" >&2; exit 2; }
  display=$((300 + $$ % 500))
  Xvfb ":$display" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null' EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  status=0
  DISPLAY=":$display" QT_QPA_PLATFORM=xcb CIRRODEX_BENCH_INNER=1 \
    dbus-run-session -- "$0" "$build" "$idle" "$base" 2> >(grep -v 'fd limit' >&2) || status=$?
  exit $status
fi

bin=$build/bin
source "$here/common.sh"
need_programs weather-service cirrodex-install cirrodex-reg today-host gantrel
[ -x "$base/bin/today-host" ] || { echo "missing $base/bin/today-host" >&2; exit 2; }

work=$(mktemp -d)
watcher_pid=
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  [ -n "$watcher_pid" ] && kill "$watcher_pid" 2>/dev/null
  stop_weather_service
  rm -rf "$work"
}
trap cleanup EXIT
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config
mkdir -m 700 "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"

start_weather_service
export CIRRODEX_FEED_BASE="http://127.0.0.1:$service_port/m/chnk/d/weather_d_src.asp?acid="
/usr/bin/python3 "$here/../tests/host/panel_test.py" --watcher >"$work/watcher.out" &
watcher_pid=$!
for _ in $(seq 50); do grep -q ready "$work/watcher.out" && break; sleep 0.1; done

# A device folder with the item registered, London stored, nothing due for a day. Both hosts get
# this build's plug-in, so that the difference is the host's own.
lay_out() {
  export CIRRODEX_DEVICE=$work/device-$1
  "$bin/cirrodex-install" --register >/dev/null
  "$CIRRODEX_DEVICE/program files/velbrook/nimbrel/Gantrel.exe" /downloadandexit
  "$bin/cirrodex-reg" add 'HKCU\SOFTWARE\Velbrook\Cirrodex' /v UpdateRate /t REG_DWORD /d 1440 \
    /f >/dev/null
}

cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {printf "%d", sum}'; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

# Runs one host for the idle period after its start has settled; prints "cpu_percent rss_kb".
idle_run() {
  "$@" 2>"$work/host.err" &
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

lay_out tray
read -r tray_cpu tray_rss < <(idle_run "$bin/today-host" --tray)
grep -q 'not shown in the panel' "$work/host.err" && { cat "$work/host.err" >&2; exit 2; }
grep -c . "$work/watcher.out" | grep -q '^[2-9]' || { echo "no item registered" >&2; exit 2; }
lay_out base
read -r base_cpu base_rss < <(idle_run "$base/bin/today-host")

added_kb=$((tray_rss - base_rss))
echo "idle CPU of today-host --tray over ${idle} s: ${tray_cpu}% of one core (target < 0.5;" \
     "without the panel: ${base_cpu}%)"
echo "resident memory with the panel: ${tray_rss} kB, without: ${base_rss} kB," \
     "added: ${added_kb} kB (target <= 5120 kB)"
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'tray_idle_cpu_percent\t%s\ntray_rss_kb\t%s\ntray_added_kb\t%s\n' \
    "$tray_cpu" "$tray_rss" "$added_kb" >>"$BENCH_FIGURES"
fi
status=0
awk -v v="$tray_cpu" 'BEGIN {exit !(v < 0.5)}' || status=1
[ "$added_kb" -le 5120 ] || status=1
exit $status
