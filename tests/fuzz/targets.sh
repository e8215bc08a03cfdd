# Shared by tests/fuzz/run and tests/fuzz/replay: the target list and the clang build.
# shellcheck shell=bash

FUZZ_SOURCE="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
FUZZ_BUILD="${CIRRODEX_FUZZ_BUILD:-$FUZZ_SOURCE/build-fuzz}"
FUZZ_CORPUS="$FUZZ_SOURCE/tests/fuzz/corpus"
FUZZ_TARGETS=(feed_parser region_file jpeg_decode http_answer http_url reg_args)

# Configures (once) and builds every target with clang, libFuzzer and the sanitizers.
fuzz_build() {
  local jobs="${FUZZ_BUILD_JOBS:-2}"
  if [ ! -f "$FUZZ_BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$FUZZ_SOURCE" -B "$FUZZ_BUILD" -G Ninja \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCIRRODEX_FUZZ=ON \
      -DCIRRODEX_BUILD_TESTS=OFF -DCIRRODEX_BUILD_BENCH=OFF >/dev/null
  fi
  local targets=()
  for t in "${FUZZ_TARGETS[@]}"; do targets+=("${t}_fuzz"); done
  cmake --build "$FUZZ_BUILD" --target "${targets[@]}" -j"$jobs"
}

# Sanitizer settings of every fuzz run: stop at the first report, with a stack trace.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
