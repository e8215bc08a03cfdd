#!/bin/bash
# Times the map pipeline of one 400 x 300 picture as a whole process (map-pipeline: decode from
# memory, save at quality 100, crop, write the icon BMP) against libjpeg-turbo's own djpeg and
# cjpeg -quality 100 doing the same decode and encode, interleaved in one run, and prints both
# medians and their ratio. Target: the ratio is at most 1.5. With $BENCH_FIGURES set, also appends
# "name<TAB>microseconds" lines to that file.
#   bench/map_pipeline_vs_djpeg.sh [BUILD_DIR] [ITERATIONS]
set -euo pipefail

build=${1:-"$(dirname "$0")/../build"}
iterations=${2:-300}
tool="$build/bin/map-pipeline"
for program in "$tool" djpeg cjpeg; do
  command -v "$program" >/dev/null || { echo "missing: $program" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export CIRRODEX_DEVICE="$work/device"
mkdir -p "$CIRRODEX_DEVICE"
"$tool" --sample "$work/map.jpg"

# One run of each first, to check they work and to warm the caches.
"$tool" "$work/map.jpg"
djpeg "$work/map.jpg" >"$work/map.ppm" && cjpeg -quality 100 "$work/map.ppm" >"$work/again.jpg"

ours=()
theirs=()
for ((i = 0; i < iterations; i++)); do
  start=$EPOCHREALTIME
  "$tool" "$work/map.jpg"
  end=$EPOCHREALTIME
  ours+=("$(((${end/./} - ${start/./})))")

  start=$EPOCHREALTIME
  djpeg "$work/map.jpg" >"$work/map.ppm"
  cjpeg -quality 100 "$work/map.ppm" >"$work/again.jpg"
  end=$EPOCHREALTIME
  theirs+=("$(((${end/./} - ${start/./})))")
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ours_median=$(median "${ours[@]}")
theirs_median=$(median "${theirs[@]}")
echo "picture: $(stat -c %s "$work/map.jpg")-byte 400 x 300 JPEG, $iterations runs each"
echo "map-pipeline (decode, save q100, crop, icon BMP): median ${ours_median} us"
echo "djpeg + cjpeg -quality 100:                       median ${theirs_median} us"
awk -v a="$ours_median" -v b="$theirs_median" \
  'BEGIN { r = a / b; printf "ratio: %.2f (target at most 1.50) %s\n", r, (r <= 1.5 ? "ok" : "TOO SLOW") }'
if [ -n "${BENCH_FIGURES:-}" ]; then
  printf 'map_pipeline_us\t%s\nmap_djpeg_cjpeg_us\t%s\n' "$ours_median" "$theirs_median" \
    >>"$BENCH_FIGURES"
fi
