// The feed parser on a full feed (every variable, 45 forecast entries) and the registry's
// single-value read and committed write.
#include <benchmark/benchmark.h>

#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_report.h"
#include "platform/registry_store.h"
#include "platform/text.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

std::wstring FullFeed() {
  return platform::FromUtf8(
      testing::ReadFile(testing::SourceDir() / "tests" / "core" / "golden" / "full_feed.txt"));
}

void BM_ParseFullFeed(benchmark::State& state) {
  const std::wstring feed = FullFeed();
  WeatherReport report;
  bool changed = false;
  for (auto _ : state) {
    // Forget the last text so that every round parses.
    report.feedText[0] = L'\0';
    ParseFeed(report, feed.c_str(), changed);
    benchmark::DoNotOptimize(report.blocks[0].highTemperature.value);
  }
  if (!changed || report.blocks[5].lowTemperature.value != 28.0) state.SkipWithError("bad parse");
  state.counters["chars"] = static_cast<double>(feed.size());
}
BENCHMARK(BM_ParseFullFeed);

void BM_ParseUnchangedFeed(benchmark::State& state) {
  const std::wstring feed = FullFeed();
  WeatherReport report;
  bool changed = false;
  ParseFeed(report, feed.c_str(), changed);
  for (auto _ : state) {
    ParseFeed(report, feed.c_str(), changed);
    benchmark::DoNotOptimize(changed);
  }
  if (changed) state.SkipWithError("the unchanged text was parsed again");
}
BENCHMARK(BM_ParseUnchangedFeed);

void BM_ReadDword(benchmark::State& state) {
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, 30);
  uint32_t value = 0;
  for (auto _ : state) {
    if (!ReadDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, value)) {
      state.SkipWithError("read failed");
      break;
    }
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_ReadDword);

void BM_WriteDword(benchmark::State& state) {
  StoreDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, 30);
  uint32_t value = 0;
  for (auto _ : state) {
    if (!WriteDword(HKEY_CURRENT_USER, kSettingsKey, kUpdateRate, ++value)) {
      state.SkipWithError("write failed");
      break;
    }
  }
}
BENCHMARK(BM_WriteDword);

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  // A fresh device folder of its own, removed at the end.
  cirrodex::testing::TempDevice device;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
