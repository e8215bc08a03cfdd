#!/usr/bin/env bash
# Ten Today screens started at once on a fresh device folder with nothing listening on the service
# port: how many weather services they start between them (target: 1) and how many of the ten
# strips show downloaded weather in their snapshots (target: 10 of 10). The screens run from a
# bin/ of this script's own, whose weather-service notes each start before it becomes the real one.
#
# Usage: bench/ten_hosts.sh [BUILD_DIR]     (default: build)
# With $BENCH_FIGURES set, also appends "name<TAB>value" lines to that file. Exits 1 when a target
# is missed.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin=$build/bin
source "$(dirname "$0")/common.sh"
need_programs weather-service cirrodex-install today-host gantrel

work=$(mktemp -d)
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cleanup() {
  # The service exits by itself once idle; wait for that rather than leave it running.
  for _ in $(seq 100); do
    python3 -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1', $port)) == 0)" && break
    sleep 0.1
  done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/bin"
cp "$bin/today-host" "$work/bin/today-host"
cat >"$work/bin/weather-service" <<EOF
#!/bin/sh
echo \$\$ >>"$work/service-starts"
exec "$bin/weather-service" "\$@"
EOF
chmod +x "$work/bin/weather-service"
: >"$work/service-starts"

export CIRRODEX_DEVICE=$work/device
export CIRRODEX_SERVICE_PORT=$port
export CIRRODEX_FEED_BASE="http://127.0.0.1:$port/m/chnk/d/weather_d_src.asp?acid="
export CIRRODEX_SERVICE_UPSTREAM=none
export CIRRODEX_SERVICE_IDLE_EXIT=3
"$bin/cirrodex-install" --register >/dev/null

# The item reads its first download back ten seconds after launching it.
pids=()
for i in $(seq 10); do
  "$work/bin/today-host" --snapshot "$work/screen$i.png" --after 12 >"$work/screen$i.log" 2>&1 &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done

services=$(wc -l <"$work/service-starts")
# A strip with weather: more than 300 pixels of the strip's area (under the 22-pixel date line)
# differ from the white background.
strips=$(python3 - "$work" <<'EOF'
import struct, sys, zlib, pathlib

def pixels(path):
    data = pathlib.Path(path).read_bytes()
    pos, idat, width, height, kind = 8, b"", 0, 0, 0
    while pos < len(data):
        size, tag = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + size]
        if tag == b"IHDR":
            width, height, depth, kind = struct.unpack(">IIBB", body[:10])
        elif tag == b"IDAT":
            idat += body
        pos += 12 + size
    channels = {2: 3, 6: 4}[kind]
    raw, stride, rows, prior = zlib.decompress(idat), width * channels, [], bytearray(width * channels)
    for y in range(height):
        f, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            a = line[x - channels] if x >= channels else 0
            b, c = prior[x], prior[x - channels] if x >= channels else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        prior = line
    return rows, channels

drawn = 0
for png in sorted(pathlib.Path(sys.argv[1]).glob("screen*.png")):
    rows, channels = pixels(png)
    count = sum(1 for y in range(22, 52) for x in range(10, 230)
                if tuple(rows[y][x * channels:x * channels + 3]) != (255, 255, 255))
    drawn += count > 300
print(drawn)
EOF
)

printf 'ten Today screens started at once: %d weather service(s) started (target 1)\n' "$services"
printf 'strips with weather: %d of 10 (target 10); screens that failed: %d\n' "$strips" "$failed"
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'ten_hosts_services\t%s\nten_hosts_strips\t%s\n' "$services" "$strips" >>"$BENCH_FIGURES"
fi
[ "$services" -eq 1 ] && [ "$strips" -eq 10 ] && [ "$failed" -eq 0 ]
