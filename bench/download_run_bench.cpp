// The download run of six cities against the real weather service of the build, with each city's
// hourly document after its feed (UpdateAllCities) and without (the feeds alone, as UpdateCity
// fetches them). This is the run's city part only, in process; the target of 1.25 times is for the
// whole /downloadandexit (process start, registry and the two maps included). Runs in a fresh
// device folder.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "core/weather_cache.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

constexpr const wchar_t* kCodes[] = {L"UKXX0085", L"FRXX0076", L"SZXX0013",
                                     L"USNY0996", L"JAXX0085", L"ASXX0112"};

struct Fixture {
  testing::TempDevice device;
  testing::WeatherServiceProcess service;
  Fixture() {
    setenv("CIRRODEX_FEED_BASE", service.FeedBase().c_str(), 1);
    for (size_t i = 0; i < std::size(kCodes); ++i) {
      StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + std::to_wstring(i + 1), kCodes[i]);
    }
  }
};

Fixture* g_fixture = nullptr;

void FreshRun() {
  ResetCityReportsForTesting();
  Cities() = CityList{};
}

void BM_DownloadRunWithoutHours(benchmark::State& state) {
  if (!g_fixture->service.running()) return state.SkipWithError("no weather service");
  for (auto _ : state) {
    state.PauseTiming();
    FreshRun();
    state.ResumeTiming();
    // UpdateAllCities as it was: each report primed with its stored feed, then downloaded.
    LoadCityList();
    for (size_t i = 0; i < std::size(kCodes); ++i) {
      bool changed = false;
      uint32_t result = 0;
      std::wstring stored;
      WeatherReport& report = CityReports()[i];
      if (LoadStoredFeed(report, kCodes[i], stored, result)) {
        ParseFeed(report, stored.c_str(), changed);
      }
      UpdateCity(report, kCodes[i], changed, result);
    }
  }
}
BENCHMARK(BM_DownloadRunWithoutHours)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_DownloadRunWithHours(benchmark::State& state) {
  if (!g_fixture->service.running()) return state.SkipWithError("no weather service");
  for (auto _ : state) {
    state.PauseTiming();
    FreshRun();
    state.ResumeTiming();
    UpdateAllCities(false);
  }
}
BENCHMARK(BM_DownloadRunWithHours)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  cirrodex::Fixture fixture;
  cirrodex::g_fixture = &fixture;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
