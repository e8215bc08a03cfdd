# Shared by the whole-process benchmarks: sourced after `bin` is set to the build's bin/.

# Exits 2 unless every named program of $bin is there.
need_programs() {
  local program
  for program in "$@"; do
    [ -x "$bin/$program" ] || { echo "missing $bin/$program: build it first" >&2; exit 2; }
  done
}

# Starts weather-service with made-up weather on a free port of 127.0.0.1, its output in
# $work/service.out; sets service_pid and service_port. Stop it with stop_weather_service.
start_weather_service() {
  "$bin/weather-service" --port 0 --upstream none "$@" >"$work/service.out" 2>"$work/service.err" &
  service_pid=$!
  local _
  for _ in $(seq 100); do
    grep -q '^listening on ' "$work/service.out" 2>/dev/null && break
    sleep 0.05
  done
  service_port=$(sed -n 's/^listening on http:\/\/127.0.0.1://p' "$work/service.out")
  [ -n "$service_port" ] || { echo "the weather service did not start" >&2; exit 2; }
}

stop_weather_service() {
  if [ -n "${service_pid:-}" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  service_pid=
}
