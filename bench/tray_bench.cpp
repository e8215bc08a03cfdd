// The panel item after new weather: asking the item for its face and its text, drawing the icon
// at every panel size and handing icon and tooltip to Qt. The item switches between two stored
// cities of different icons and temperatures before each update (untimed), so every update draws
// anew. Runs the real plug-in on the offscreen platform in a fresh device folder.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/registry_ops.h"
#include "core/settings.h"
#include "host/tray_icon.h"
#include "host/tray_item.h"
#include "platform/text.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

std::wstring Feed(const std::string& city, const std::string& temperature,
                  const std::string& icon) {
  std::string feed = testing::ReadFile(testing::SourceDir() / "tests/core/golden/full_feed.txt");
  const auto replace = [&feed](const std::string& variable, const std::string& value) {
    const std::string head = "var " + variable + " = \"";
    const size_t at = feed.find(head);
    if (at == std::string::npos) return;
    const size_t from = at + head.size();
    feed.replace(from, feed.find('"', from) - from, value);
  };
  replace("swCity", city);
  replace("swTemp", temperature);
  replace("swCIcon", icon);
  return platform::FromUtf8(feed);
}

struct Fixture {
  testing::TempDevice device;
  std::unique_ptr<host::TodayScreen> screen;
  std::unique_ptr<host::TrayItem> tray;
  platform::HWND item = nullptr;
  bool ready = false;

  Fixture() {
    // Nothing answers the feed address: the worker's first download fails and changes nothing.
    setenv("CIRRODEX_FEED_BASE", "http://127.0.0.1:9/feed?code=", 1);
    setenv("CIRRODEX_SERVICE_PORT", "9", 1);
    const std::string install = (testing::BuildDir() / "bin" / "cirrodex-install").string();
    if (std::system((install + " --register >/dev/null").c_str()) != 0) return;
    WriteDefaultSettings();
    const struct {
      const wchar_t* code;
      std::wstring feed;
    } cities[] = {{L"UKXX0085", Feed("London", "41.5", "26")},
                  {L"FRXX0076", Feed("Paris", "-3.2", "32")}};
    for (const auto& city : cities) {
      const std::wstring key = CityKey(city.code);
      StoreString(HKEY_CURRENT_USER, key, L"WeatherPreviousData", city.feed);
      StoreDword(HKEY_CURRENT_USER, key, L"DownloadResult", 200);
    }
    screen = std::make_unique<host::TodayScreen>();
    tray = std::make_unique<host::TrayItem>(*screen);
    host::TrayFace face;
    ready = host::AskTrayFace(*screen, &item, &face) && face.panel.temperature[0] != L'\0';
  }
};

Fixture* g_fixture = nullptr;

void BM_TrayUpdateAfterNewWeather(benchmark::State& state) {
  if (g_fixture == nullptr || !g_fixture->ready) {
    state.SkipWithError("the plug-in did not load with stored weather");
    return;
  }
  int slot = 0;
  for (auto _ : state) {
    state.PauseTiming();
    slot = 1 - slot;
    platform::SendMessage(g_fixture->item, platform::WM_TODAYCUSTOM_SELECTCITY,
                          static_cast<platform::WPARAM>(slot), 0);
    state.ResumeTiming();
    g_fixture->tray->Update();
  }
}
BENCHMARK(BM_TrayUpdateAfterNewWeather)->Unit(benchmark::kMillisecond);

// The drawing alone, at one size, for what the sizes cost.
void BM_DrawTrayIcon(benchmark::State& state) {
  const QImage condition(QString::fromStdString(
      (testing::BuildDir() / "share" / "cirrodex" / "bmp" / "26.bmp").string()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        host::DrawTrayIcon(condition, "-12\u00B0", static_cast<int>(state.range(0))));
  }
}
BENCHMARK(BM_DrawTrayIcon)->Arg(16)->Arg(32)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace cirrodex

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  {
    cirrodex::Fixture fixture;
    cirrodex::g_fixture = &fixture;
    benchmark::RunSpecifiedBenchmarks();
    cirrodex::g_fixture = nullptr;
  }
  benchmark::Shutdown();
  return 0;
}
