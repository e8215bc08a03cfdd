// The city chooser over the shipped region files, one per country: building its region list,
// loading the largest region into the location list, and opening it on a start code of the last
// region, which loads every region before it. Runs on the offscreen platform in a fresh device
// folder with the region files of the build.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <string>

#include "core/weather_report.h"
#include "dialog/dialog_controls.h"
#include "setup/sheet/select_location_dlg.h"
#include "tests/support/temp_device.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

// A city of "Zimbabwe.csv", the last region of the list.
constexpr const wchar_t* kLastRegionCode = L"ZW000011";

struct Fixture {
  testing::TempDevice device;
  std::filesystem::path folder = device.Path(std::wstring(kDefaultInstallFolder) + L"\\citycodes");
  std::wstring largest;  // the region with the most bytes
  bool ready = false;

  Fixture() {
    const auto shipped = testing::BuildDir() / "share" / "cirrodex" / "citycodes";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::filesystem::copy(shipped, folder,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing,
                          error);
    uintmax_t most = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (entry.file_size() > most) {
        most = entry.file_size();
        largest = entry.path().stem().wstring();
      }
    }
    ready = !error && most > 0;
  }
};

Fixture* g_fixture = nullptr;

bool Ready(benchmark::State& state) {
  if (g_fixture != nullptr && g_fixture->ready) return true;
  state.SkipWithError("the region files of the build are missing");
  return false;
}

void BM_BuildRegionList(benchmark::State& state) {
  if (!Ready(state)) return;
  size_t regions = 0;
  for (auto _ : state) {
    CSelectLocationDlg chooser;
    regions = chooser.Regions().size();
  }
  state.counters["regions"] = static_cast<double>(regions);
}
BENCHMARK(BM_BuildRegionList)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_LoadLargestRegion(benchmark::State& state) {
  if (!Ready(state)) return;
  CSelectLocationDlg chooser;
  chooser.Create();
  const auto& regions = chooser.Regions();
  std::wstring wanted = g_fixture->largest;
  for (wchar_t& c : wanted) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  const auto at = std::find(regions.begin(), regions.end(), wanted);
  if (at == regions.end()) {
    state.SkipWithError("the largest region is not listed");
    return;
  }
  const int index = static_cast<int>(at - regions.begin());
  for (auto _ : state) {
    if (!chooser.LoadRegion(index)) state.SkipWithError("the region did not load");
  }
  state.counters["locations"] = static_cast<double>(chooser.Locations().size());
  state.SetLabel(ToQString(wanted).toStdString());
}
BENCHMARK(BM_LoadLargestRegion)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_OpenOnLastRegionCode(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    CSelectLocationDlg chooser;
    chooser.SetStartCode(kLastRegionCode);
    chooser.Create();
    state.PauseTiming();
    if (chooser.ChosenCode() != kLastRegionCode ||
        chooser.RegionIndex() + 1 != static_cast<int>(chooser.Regions().size())) {
      state.SkipWithError("the chooser did not open on the last region's city");
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenOnLastRegionCode)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  cirrodex::Fixture fixture;
  cirrodex::g_fixture = &fixture;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
