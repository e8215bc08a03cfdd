// The city chooser over the shipped region files, one per country: building its region list,
// loading the largest region into the location list, opening it on a start code of the last
// region, which loads every region before it, opening it on the first region, and the search box:
// reading every place into its index, one keystroke's search, and the memory the index holds. Runs
// on the offscreen platform in a fresh device folder with the region files of the build.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/weather_report.h"
#include "dialog/dialog_controls.h"
#include "setup/sheet/place_search.h"
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

// The first open as the Locations page's Browse does it with an empty slot.
void BM_OpenChooser(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    CSelectLocationDlg chooser;
    chooser.Create();
    benchmark::DoNotOptimize(chooser.ChosenCode());
  }
}
BENCHMARK(BM_OpenChooser)->Unit(benchmark::kMillisecond)->Repetitions(5);

// What the first search of a chooser costs on top of its keystroke.
void BM_LoadPlaceIndex(benchmark::State& state) {
  if (!Ready(state)) return;
  size_t places = 0;
  for (auto _ : state) {
    PlaceIndex index;
    index.Load(InstallFolder(CityReports()[0]));
    places = index.size();
  }
  state.counters["places"] = static_cast<double>(places);
}
BENCHMARK(BM_LoadPlaceIndex)->Unit(benchmark::kMillisecond)->Repetitions(5);

// One keystroke: the search of what is typed so far, over every place, cycling through the
// prefixes of a few names as they are typed (with accents, a word inside a name, coordinates).
void BM_SearchKeystroke(benchmark::State& state) {
  if (!Ready(state)) return;
  PlaceIndex index;
  index.Load(InstallFolder(CityReports()[0]));
  std::vector<std::wstring> typed;
  for (const std::wstring name :
       {L"Reykjavik", L"São Paulo", L"Zürich", L"angeles", L"Łódź", L"52.52, 13.40", L"new york"}) {
    for (size_t n = 1; n <= name.size(); ++n) typed.push_back(name.substr(0, n));
  }
  size_t i = 0;
  size_t found = 0;
  for (auto _ : state) {
    found += index.Search(typed[i++ % typed.size()]).size();
  }
  benchmark::DoNotOptimize(found);
  state.counters["places"] = static_cast<double>(index.size());
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond)->Repetitions(5);

size_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  size_t pages = 0;
  size_t resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// The resident memory an open chooser gains with its search index (what the sheet holds more
// than before the search box), in MB.
void BM_IndexMemory(benchmark::State& state) {
  if (!Ready(state)) return;
  double resident = 0;
  double heap = 0;
  for (auto _ : state) {
    CSelectLocationDlg chooser;
    chooser.Create();
    const size_t residentBefore = ResidentBytes();
    const size_t heapBefore = mallinfo2().uordblks;
    chooser.OnFindChanged(L"re");
    resident = (static_cast<double>(ResidentBytes()) - static_cast<double>(residentBefore)) / 1e6;
    heap = (static_cast<double>(mallinfo2().uordblks) - static_cast<double>(heapBefore)) / 1e6;
  }
  state.counters["resident_MB"] = resident;
  state.counters["heap_MB"] = heap;
}
BENCHMARK(BM_IndexMemory)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

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
