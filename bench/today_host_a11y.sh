#!/usr/bin/env bash
# Idle CPU of the Today host with a screen reader's bus attached: today-host on an X server
# (Xvfb) in a private D-Bus session with the AT-SPI bus, Qt's accessibility switched on, and a
# listener registered for the events a screen reader follows (text, state and focus changes).
# After the start has settled (the worker's first download is read back after 10 s), the CPU of
# every thread of the host over IDLE seconds; target under 0.5 % of one core.
#
# Usage: bench/today_host_a11y.sh [BUILD_DIR] [IDLE]     (defaults: build, 60)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file. Exits 1 when the
# target is missed, 2 when it cannot be measured (no Xvfb, D-Bus session or AT-SPI bus).
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
idle=${2:-60}
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs weather-service cirrodex-install cirrodex-reg today-host gantrel
launcher=/usr/libexec/at-spi-bus-launcher
python=/usr/bin/python3

if [ "${CIRRODEX_A11Y_INNER:-}" != 1 ]; then
  for tool in Xvfb dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
  done
  [ -x "$launcher" ] || { echo "the AT-SPI bus launcher is missing (at-spi2-core)" >&2; exit 2; }
  "$python" -c 'import pyatspi' 2>/dev/null || { echo "python3-pyatspi is missing" >&2; exit 2; }
  work=$(mktemp -d)
  xvfb_pid=
  trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT
  display=
  first=$((300 + $$ % 500))
  for n in $(seq "$first" $((first + 20))); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -S "/tmp/.X11-unix/X$n" ] && { display=$n; break; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    [ -n "$display" ] && break
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  [ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 2; }
  for d in home run config cache; do mkdir -m 700 "$work/$d"; done
  status=0
  DISPLAY=:$display HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/config \
    XDG_CACHE_HOME=$work/cache CIRRODEX_A11Y_INNER=1 CIRRODEX_DEVICE=$work/device \
    dbus-run-session -- "$0" "$build" "$idle" || status=$?
  exit "$status"
fi

work=$(mktemp -d)
service_pid=
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  stop_weather_service
  rm -rf "$work"
}
trap cleanup EXIT

"$launcher" --launch-immediately >/dev/null 2>&1 &
pids+=($!)
address=
for _ in $(seq 50); do
  address=$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress 2>/dev/null | grep -o 'unix:[^"]*' || true)
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "the AT-SPI bus did not start" >&2; exit 2; }

start_weather_service
export CIRRODEX_FEED_BASE="http://127.0.0.1:$service_port/m/chnk/d/weather_d_src.asp?acid="
"$bin/cirrodex-install" --register >/dev/null
"$CIRRODEX_DEVICE/program files/velbrook/nimbrel/Gantrel.exe" /downloadandexit
"$bin/cirrodex-reg" add 'HKCU\SOFTWARE\Velbrook\Cirrodex' /v UpdateRate /t REG_DWORD /d 1440 \
  /f >/dev/null

# The screen reader's ears: what Orca listens to, so the host's bridge sends all of it.
"$python" - <<'EOF' &
import pyatspi
def heard(event):
    pass
pyatspi.Registry.registerEventListener(heard, "object:property-change", "object:state-changed",
                                       "object:children-changed", "focus", "window")
pyatspi.Registry.start()
EOF
pids+=($!)

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$bin/today-host" >/dev/null 2>&1 &
host_pid=$!
pids+=("$host_pid")
sleep 15
kill -0 "$host_pid" 2>/dev/null || { echo "today-host did not stay up" >&2; exit 2; }

cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{sum += $1} END {printf "%d", sum}'; }
before=$(cpu_ns "$host_pid")
sleep "$idle"
after=$(cpu_ns "$host_pid")
cpu=$(awk -v b="$before" -v a="$after" -v s="$idle" 'BEGIN {printf "%.4f", (a - b) / 1e9 / s * 100}')
echo "idle CPU of host and item with a screen reader's bus over ${idle} s: ${cpu}% of one core" \
  "(target < 0.5)"
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'host_idle_cpu_a11y_percent\t%s\nhost_idle_a11y_seconds\t%s\n' "$cpu" "$idle" \
    >>"$BENCH_FIGURES"
fi
awk -v v="$cpu" 'BEGIN {exit !(v < 0.5)}'
