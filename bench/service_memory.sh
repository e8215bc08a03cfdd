#!/usr/bin/env bash
# The weather service's memory under ever new city codes: 100,000 feed requests, each for a
# coordinate code never asked before, in live mode against a stand-in for the forecast API on
# 127.0.0.1 (every code is one more upstream request and one more city the service could keep).
# Resident memory is read after 50,000 and after 100,000 codes.
# Targets: <= 64 MB after 100,000 codes; growth from 50,000 to 100,000 codes <= 2 MB (flat).
#
# Usage: bench/service_memory.sh [BUILD_DIR] [CODES]     (defaults: build, 100000)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file (memory in kB).
# Exits 1 when a target is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
codes=${2:-100000}
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs weather-service

work=$(mktemp -d)
service_pid=
api_pid=
cleanup() {
  stop_weather_service
  if [ -n "$api_pid" ]; then
    kill "$api_pid" 2>/dev/null || true
    wait "$api_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The stand-in: one forecast answer in the API's shape for any point, its current time now.
cat >"$work/api.py" <<'EOF'
import json, sys, time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlparse, parse_qs

class Api(BaseHTTPRequestHandler):
    def do_GET(self):
        query = parse_qs(urlparse(self.path).query)
        now = time.time() - time.time() % 900
        day = lambda n: time.strftime("%Y-%m-%d", time.gmtime(now + n * 86400))
        body = json.dumps({
            "latitude": float(query["latitude"][0]), "longitude": float(query["longitude"][0]),
            "generationtime_ms": 0.1, "utc_offset_seconds": 0, "timezone": "GMT",
            "timezone_abbreviation": "GMT", "elevation": 10.0,
            "current_units": {"time": "iso8601", "interval": "seconds", "temperature_2m": "°F",
                              "apparent_temperature": "°F", "relative_humidity_2m": "%",
                              "pressure_msl": "hPa", "wind_speed_10m": "mp/h",
                              "wind_direction_10m": "°", "weather_code": "wmo code",
                              "visibility": "ft", "uv_index": "", "is_day": ""},
            "current": {"time": time.strftime("%Y-%m-%dT%H:%M", time.gmtime(now)),
                        "interval": 900, "temperature_2m": 51.3, "apparent_temperature": 48.2,
                        "relative_humidity_2m": 81, "pressure_msl": 1012.4, "wind_speed_10m": 7.4,
                        "wind_direction_10m": 250, "weather_code": 3, "visibility": 78740.0,
                        "uv_index": 1.2, "is_day": 1},
            "daily_units": {"time": "iso8601", "weather_code": "wmo code",
                            "temperature_2m_max": "°F", "temperature_2m_min": "°F",
                            "precipitation_probability_max": "%"},
            "daily": {"time": [day(n) for n in range(6)], "weather_code": [3, 61, 2, 0, 80, 3],
                      "temperature_2m_max": [55.2, 53.1, 50.4, 49.8, 52.6, 54.0],
                      "temperature_2m_min": [44.1, 42.9, 40.3, 38.5, 41.7, 43.2],
                      "precipitation_probability_max": [20, 85, 10, 0, 60, 25]},
        }).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass

server = ThreadingHTTPServer(("127.0.0.1", 0), Api)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
python3 "$work/api.py" >"$work/api.port" &
api_pid=$!
for _ in $(seq 100); do
  [ -s "$work/api.port" ] && break
  sleep 0.05
done
api_port=$(cat "$work/api.port")
[ -n "$api_port" ] || { echo "the stand-in API did not start" >&2; exit 2; }

start_weather_service --upstream open-meteo \
  --upstream-url "http://127.0.0.1:$api_port/v1/forecast"

# Four keep-alive clients share the codes; after each half the service's resident memory is read.
python3 - "$service_port" "$service_pid" "$codes" >"$work/rss.tsv" <<'EOF'
import http.client, sys, threading
port, pid, codes = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])

def rss_kb():
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])

def code(n):  # distinct points of 0.01 degrees on a band of the globe
    return "N%04dE%05d" % (n // 18000, n % 18000)

failed = [0]
def ask(first, last, step):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    for n in range(first, last, step):
        connection.request("GET", "/m/chnk/d/weather_d_src.asp?acid=" + code(n))
        answer = connection.getresponse()
        answer.read()
        if answer.status != 200:
            failed[0] += 1

half = codes // 2
for start, end, label in ((0, half, "half"), (half, codes, "all")):
    threads = [threading.Thread(target=ask, args=(start + k, end, 4)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    print(f"{label}\t{rss_kb()}")
print(f"failed\t{failed[0]}")
EOF
stop_weather_service

half_kb=$(awk -F'\t' '$1 == "half" { print $2 }' "$work/rss.tsv")
all_kb=$(awk -F'\t' '$1 == "all" { print $2 }' "$work/rss.tsv")
failed=$(awk -F'\t' '$1 == "failed" { print $2 }' "$work/rss.tsv")
growth_kb=$((all_kb - half_kb))
echo "resident memory after $((codes / 2)) codes: $half_kb kB; after $codes: $all_kb kB" \
  "(growth $growth_kb kB); failed requests: $failed"
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'service_codes_half_rss_kb\t%s\nservice_codes_all_rss_kb\t%s\nservice_codes_growth_kb\t%s\nservice_codes_failed\t%s\n' \
    "$half_kb" "$all_kb" "$growth_kb" "$failed" >>"$BENCH_FIGURES"
fi
((all_kb <= 64 * 1024 && growth_kb <= 2048 && failed == 0)) || exit 1
