// The setup sheet on the offscreen platform: opening it on the Install page with six cities
// configured and their weather stored, up to the first painted page (nothing may download then),
// and switching to a page that was already shown, up to its paint. Runs in a fresh device folder
// with the real weather service of the build and the built icons.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "dialog/wait_cursor.h"
#include "setup/sheet/gantrel_dlg.h"
#include "tests/support/temp_device.h"
#include "tests/support/weather_service.h"
#include "update/update_run.h"

namespace cirrodex {
namespace {

constexpr const wchar_t* kCodes[] = {L"UKXX0085", L"FRXX0076", L"SZXX0013",
                                     L"GMXX0007", L"NLXX0002", L"GRXX0004"};

// Notes the first paint event of a widget; the paint itself is done when processEvents returns.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
  ~PaintWatch() override { widget_->removeEventFilter(this); }
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted_ = true;
    return false;
  }
  // False when no paint came within five seconds.
  bool Wait() {
    QElapsedTimer timer;
    timer.start();
    while (!painted_ && timer.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return painted_;
  }

 private:
  QWidget* widget_;
  bool painted_ = false;
};

// The device, the service and six cities whose feeds are stored, for the whole program.
struct Fixture {
  testing::TempDevice device;
  testing::WeatherServiceProcess service;
  bool ready = false;

  Fixture() {
    if (!service.running()) return;
    setenv("CIRRODEX_FEED_BASE", service.FeedBase().c_str(), 1);
    for (size_t i = 0; i < std::size(kCodes); ++i) {
      const std::wstring n = std::to_wstring(i + 1);
      StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityCode" + n, kCodes[i]);
      StoreString(HKEY_CURRENT_USER, kSettingsKey, L"CityName" + n, L"City " + n);
    }
    StoreDword(HKEY_CURRENT_USER, kSettingsKey, kSummaryDisplayType, 2);
    const std::filesystem::path icons = testing::BuildDir() / "share" / "cirrodex" / "bmp";
    std::error_code error;
    std::filesystem::copy(icons, device.Path(std::wstring(kDefaultInstallFolder) + L"\\bmp"),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing,
                          error);
    UpdateAllCities(false);  // stores every city's feed
    ready = CityReports()[5].downloadResult == 200;
  }
};

Fixture* g_fixture = nullptr;
double g_applicationMs = 0;

// A fresh run of the program: new reports, the city list not yet loaded.
void FreshRun() {
  ResetCityReportsForTesting();
  Cities() = CityList{};
}

bool AnyCityTried() {
  for (const WeatherReport& report : CityReports()) {
    if (report.downloadResult != 0) return true;
  }
  return false;
}

// Builds the sheet, shows it on the Install page and waits for that page's first paint.
std::unique_ptr<CGantrelDlg> OpenSheet(benchmark::State& state) {
  auto sheet = std::make_unique<CGantrelDlg>();
  QDialog* window = sheet->Create();
  PaintWatch watch(sheet->install_.Window());
  window->show();
  if (!watch.Wait()) state.SkipWithError("the Install page was never painted");
  return sheet;
}

void OpenSheetOnInstallPage(benchmark::State& state) {
  if (g_fixture == nullptr || !g_fixture->ready) {
    state.SkipWithError("the weather service or the stored cities are missing");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    FreshRun();
    state.ResumeTiming();
    auto sheet = OpenSheet(state);
    state.PauseTiming();
    if (AnyCityTried()) state.SkipWithError("opening the sheet downloaded");
    // Closing refreshes every city (the Locations page saves): not part of opening.
    sheet.reset();
    state.ResumeTiming();
  }
}

// The first sheet of the process: the font is registered and the style set up on the way.
void BM_OpenSheetOnInstallPageCold(benchmark::State& state) {
  OpenSheetOnInstallPage(state);
  state.counters["qapplication_ms"] = g_applicationMs;
}
BENCHMARK(BM_OpenSheetOnInstallPageCold)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_OpenSheetOnInstallPage(benchmark::State& state) { OpenSheetOnInstallPage(state); }
BENCHMARK(BM_OpenSheetOnInstallPage)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The Hourly page's paint alone, repainted while it is shown: the stored document read and
// parsed, the graphs and icons drawn.
void BM_PaintHourlyPage(benchmark::State& state) {
  if (g_fixture == nullptr || !g_fixture->ready) {
    state.SkipWithError("the weather service or the stored cities are missing");
    return;
  }
  FreshRun();
  auto sheet = OpenSheet(state);
  // The page's window is made when it is first activated; its paint comes later.
  sheet->SetActivePage(&sheet->hourly_);
  {
    PaintWatch shown(sheet->hourly_.Window());
    if (!shown.Wait()) state.SkipWithError("the Hourly page was never painted");
  }
  for (auto _ : state) sheet->hourly_.Window()->repaint();
  sheet.reset();
}
BENCHMARK(BM_PaintHourlyPage)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Argument: the tab (1-10) of the page switched to, from the Install page, after every page was
// shown.
void BM_SwitchToShownPage(benchmark::State& state) {
  if (g_fixture == nullptr || !g_fixture->ready) {
    state.SkipWithError("the weather service or the stored cities are missing");
    return;
  }
  FreshRun();
  auto sheet = OpenSheet(state);
  for (int i = 0; i < sheet->GetPageCount(); ++i) sheet->SetActivePage(i);  // first displays
  sheet->SetActivePage(0);
  const int target = static_cast<int>(state.range(0));
  PropertyPage* page = sheet->GetPage(target);
  if (page == nullptr) {
    state.SkipWithError("the sheet has no page at this tab");
    return;
  }
  state.SetLabel(ToQString(page->Caption()).toStdString());
  for (auto _ : state) {
    PaintWatch watch(page->Window());
    sheet->SetActivePage(target);
    if (!watch.Wait()) state.SkipWithError("the page was never painted");
    state.PauseTiming();
    PaintWatch back(sheet->install_.Window());
    sheet->SetActivePage(0);
    back.Wait();
    state.ResumeTiming();
  }
  sheet.reset();
}
BENCHMARK(BM_SwitchToShownPage)
    ->DenseRange(1, 10)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const auto start = std::chrono::steady_clock::now();
  QApplication application(argc, argv);
  cirrodex::g_applicationMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  benchmark::Initialize(&argc, argv);
  cirrodex::Fixture fixture;
  cirrodex::g_fixture = &fixture;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
