#!/usr/bin/env bash
# The weather service under load: 10,000 feed requests from 8 keep-alive clients, calm and then
# with 1,000 hostile connections held open (500 sending one header byte a second, 500 idle), in
# rounds (service-load); how long SIGTERM takes to end it with 3,000 connections open; and the
# first answer of a service started by systemd socket activation, timed whole (curl's total time,
# the service's start included).
# Beside the calm load, 2 more clients ask for the hourly document 2,000 times.
# Targets: p50 <= 1 ms, p99 <= 20 ms, no failed request, hostile p99 <= 3 x calm p99, hourly
# document p99 <= 2 ms, resident memory <= 64 MB throughout; exit within 1 s of SIGTERM; first
# answer after socket activation <= 150 ms.
#
# Usage: bench/service_load.sh [BUILD_DIR] [ACTIVATIONS]     (defaults: build, 11)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file (times in
# microseconds, memory in kB). Exits 1 when a target is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
activations=${2:-11}
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs weather-service service-load
command -v curl >/dev/null || { echo "curl is missing" >&2; exit 2; }

work=$(mktemp -d)
service_pid=
cleanup() {
  stop_weather_service
  rm -rf "$work"
}
trap cleanup EXIT

start_weather_service
port=$service_port

"$bin/service-load" "$port" "$service_pid" --terminate 3000 | tee "$work/load.tsv"
stop_weather_service

# Socket activation: systemd-socket-activate listens and starts the service on the first
# connection; the service exits again when idle for a second.
activate=$(command -v systemd-socket-activate || true)
times=()
if [ -n "$activate" ]; then
  for _ in $(seq "$activations"); do
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$activate" -l "127.0.0.1:$port" "$bin/weather-service" --upstream none --idle-exit 1 \
      >"$work/activated.out" 2>&1 &
    service_pid=$!
    for _ in $(seq 100); do
      grep -q '^Listening on ' "$work/activated.out" 2>/dev/null && break
      sleep 0.02
    done
    t=$(curl -s -o /dev/null -w '%{time_total}' \
      "http://127.0.0.1:$port/m/chnk/d/weather_d_src.asp?acid=UKXX0085")
    times+=("$(python3 -c "print(round($t * 1e6))")")
    wait "$service_pid" 2>/dev/null || true
    service_pid=
  done
fi
activation_us=
if ((${#times[@]})); then
  activation_us=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((${#times[@]} + 1) / 2))p")
  printf 'service_activation_first_answer_us\t%s\n' "$activation_us" | tee -a "$work/load.tsv"
fi

[ -z "${BENCH_FIGURES:-}" ] || cat "$work/load.tsv" >>"$BENCH_FIGURES"

python3 - "$work/load.tsv" <<'PY'
import sys
f = {}
for line in open(sys.argv[1]):
    name, _, value = line.strip().partition("\t")
    f[name] = float(value)
ok = (f["service_calm_p50_us"] <= 1000 and f["service_hostile_p50_us"] <= 1000
      and f["service_calm_p99_us"] <= 20000 and f["service_hostile_p99_us"] <= 20000
      and f["service_calm_failed"] == 0 and f["service_hostile_failed"] == 0
      and f["service_hostile_p99_us"] <= 3 * f["service_calm_p99_us"]
      and f["service_hourly_p99_us"] <= 2000 and f["service_hourly_failed"] == 0
      and f["service_peak_rss_kb"] <= 64 * 1024
      and f.get("service_sigterm_exit_us", 1e12) <= 1e6
      and f.get("service_activation_first_answer_us", 1e12) <= 150000)
sys.exit(0 if ok else 1)
PY
