// The drawings on the Qt context: one summary strip per layout, with every icon and map loaded from
// its file as each paint does, and the Current page's details with a full history of 256 records
// read from the registry. Runs in a fresh device folder holding the built icons.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <filesystem>

#include "core/detail_drawing.h"
#include "core/format.h"
#include "core/spoken_text.h"
#include "core/summary_drawing.h"
#include "core/weather_cache.h"
#include "platform/qt/qt_drawing_context.h"
#include "tests/core/drawing_test_support.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using platform::QtDrawingContext;

// Copies the icons that the build drew into the device's install folder; false when they are
// missing (build the cirrodex_icons target first).
bool InstallIcons(const testing::TempDevice& device, const std::wstring& installFolder) {
  const std::filesystem::path built = testing::BuildDir() / "share" / "cirrodex" / "bmp";
  const std::filesystem::path target = device.Path(installFolder + L"\\bmp");
  std::error_code error;
  std::filesystem::create_directories(target, error);
  std::filesystem::copy(
      built, target,
      std::filesystem::copy_options::overwrite_existing | std::filesystem::copy_options::recursive,
      error);
  if (error || !std::filesystem::exists(target / "30.bmp")) return false;
  for (const wchar_t* map : {kRadarIconFile, kSatelliteIconFile}) {
    testing::WriteFile(device.Path(installFolder + L"\\" + map), testing::MakeBorderedBmp(30, 30));
  }
  return true;
}

template <typename Draw>
void PaintInto(QImage& image, Draw draw) {
  image.fill(Qt::white);
  QPainter painter(&image);
  QtDrawingContext dc(painter);
  dc.SetTextColor(platform::Rgb(0, 0, 0));
  dc.SetBkMode(platform::BackgroundMode::Transparent);
  draw(dc);
}

void BM_DrawSummary(benchmark::State& state) {
  const auto layout = static_cast<int32_t>(state.range(0));
  WeatherReport report;
  testing::FillReport(report);
  const int height = SummaryHeight(layout);
  QImage image(220, height, QImage::Format_RGB32);
  for (auto _ : state) {
    PaintInto(image, [&](QtDrawingContext& dc) {
      dc.SelectFont(nullptr);
      DrawSummary(report, dc, 0, 0, 220, height, layout, InstallFolder(report), kCelsius);
    });
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_DrawSummary)
    ->DenseRange(0, 5)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// What a screen reader is told of the same strip, with the status line: recorded without reading
// any file, then read cell by cell. Runs whenever the item repaints while a screen reader listens.
void BM_SummaryText(benchmark::State& state) {
  const auto layout = static_cast<int32_t>(state.range(0));
  WeatherReport report;
  testing::FillReport(report);
  for (auto _ : state) {
    std::wstring text = SummaryText(report, layout, kCelsius, StatusLine::Shown, 200);
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(BM_SummaryText)
    ->DenseRange(0, 5)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// A full ring of 256 history records for the selected city.
void StoreFullHistory(WeatherReport& report) {
  for (int i = 0; i < kHistorySlots; ++i) {
    CopyText(report.lastUpdated,
             WFormat(L"%02d/05/2025 %02d:%02d:00 GMT", 1 + i / 24, i % 24, (i * 7) % 60).c_str());
    report.blocks[0].highTemperature.Set(40.0 + (i * 13) % 40, kFahrenheit);
    report.blocks[0].pressure = 29.5 + (i % 10) * 0.1;
    report.blocks[0].windSpeed = (i * 3) % 30;
    RecordHistory(report, nullptr);
  }
}

void BM_DrawCurrentDetails(benchmark::State& state) {
  WeatherReport report;
  testing::FillReport(report);
  StoreFullHistory(report);
  QImage image(240, 230, QImage::Format_RGB32);
  for (auto _ : state) {
    PaintInto(image, [&](QtDrawingContext& dc) {
      DrawCurrentDetails(report, dc, 0, 0, 240, 230, InstallFolder(report), kCelsius);
    });
    benchmark::DoNotOptimize(image.constBits());
  }
}
// The registry share of the above: reading the 256 records alone.
void BM_ReadHistory(benchmark::State& state) {
  WeatherReport report;
  testing::FillReport(report);
  StoreFullHistory(report);
  for (auto _ : state) {
    std::vector<HistoryRecord> records(kHistorySlots);
    ReadHistory(report, kHistorySlots, records.data());
    benchmark::DoNotOptimize(records.data());
  }
}
BENCHMARK(BM_ReadHistory)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK(BM_DrawCurrentDetails)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  cirrodex::testing::TempDevice device;
  if (!cirrodex::InstallIcons(device, cirrodex::kDefaultInstallFolder)) {
    std::fprintf(stderr, "bench_drawing: the built icons are missing; build cirrodex_icons\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
