// The live map pictures: composing one from tiles already in memory, one cold picture from the
// local stand-ins for RainViewer and GIBS, and the resident memory after 1,000 and 2,000
// different pictures (flat once the bounded caches are full).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>

#include "service/maps/live_maps.h"
#include "service/maps/map_compositor.h"
#include "tests/service/map_stand_in.h"

namespace cirrodex::service {
namespace {

// The stand-ins are ours: no rate to keep to.
MapSources Unlimited(std::string indexUrl, std::string wmsUrl) {
  MapSources sources;
  sources.radarIndexUrl = std::move(indexUrl);
  sources.imageryUrl = std::move(wmsUrl);
  sources.radarPerMinute = sources.imageryPerMinute = 1000000;
  return sources;
}
MapSources Unlimited(const MapStandIn& standIn) {
  return Unlimited(standIn.IndexUrl(), standIn.WmsUrl());
}

// The stand-ins in a process of their own, so that their memory is not counted as the maps'.
class ForkedStandIn {
 public:
  ForkedStandIn() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      MapStandIn standIn;
      const std::string urls = standIn.IndexUrl() + "\n" + standIn.WmsUrl() + "\n";
      if (write(fds[1], urls.data(), urls.size()) < 0) _exit(1);
      for (;;) pause();
    }
    close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; text.find('\n', text.find('\n') + 1) == std::string::npos &&
                    (n = read(fds[0], buffer, sizeof buffer)) > 0;) {
      text.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    const size_t line = text.find('\n');
    if (line == std::string::npos) return;
    indexUrl_ = text.substr(0, line);
    wmsUrl_ = text.substr(line + 1, text.find('\n', line + 1) - line - 1);
  }
  ~ForkedStandIn() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ok() const { return !wmsUrl_.empty(); }
  MapSources Sources() const { return Unlimited(indexUrl_, wmsUrl_); }

 private:
  pid_t pid_ = -1;
  std::string indexUrl_, wmsUrl_;
};

double ResidentMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string key;
  double kb = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> kb;
      break;
    }
  }
  return kb / 1024;
}

// First, while this process has no other threads, since it forks.
void BM_ResidentMemoryAfterPictures(benchmark::State& state) {
  ForkedStandIn standIn;
  if (!standIn.ok()) {
    state.SkipWithError("the stand-in process did not start");
    return;
  }
  for (auto _ : state) {
    LiveMaps maps(standIn.Sources(), MakeCurlUpstreamClient(), SystemMapClock());
    std::mt19937 random(11);
    std::uniform_real_distribution<double> lat(-60, 70), lon(-180, 180);
    for (int i = 1; i <= 8000; ++i) {
      const Location place{"C", "C" + std::to_string(i), "", lat(random), lon(random), ""};
      maps.Picture(i % 2 ? MapKind::Satellite : MapKind::Radar, place);
      // The picture caches hold small JPEGs by total size, so they fill only after some
      // thousands of areas: memory grows until then and must stay flat afterwards.
      if (i == 1000 || i == 6000 || i == 8000) {
        state.counters["rss_mb_after_" + std::to_string(i)] = ResidentMegabytes();
      }
    }
  }
}
BENCHMARK(BM_ResidentMemoryAfterPictures)->Unit(benchmark::kSecond)->Iterations(1);

void BM_ComposeFromCachedTiles(benchmark::State& state) {
  std::mt19937 random(3);
  std::vector<RgbaPicture> tiles(9);
  for (RgbaPicture& tile : tiles) {
    tile.width = tile.height = 256;
    tile.pixels.resize(256 * 256 * 4);
    for (size_t i = 0; i < tile.pixels.size(); i += 4) {
      const bool rain = random() % 5 == 0;
      tile.pixels[i] = 60, tile.pixels[i + 1] = 120, tile.pixels[i + 2] = 230;
      tile.pixels[i + 3] = rain ? 200 : 0;
    }
  }
  const RgbPicture base = BlankPicture(400, 300, 90, 110, 80);
  const PictureBox box = BoxAround({51.51, -0.13}, kMapZoom, 400, 300);
  for (auto _ : state) {
    RgbPicture canvas = base;
    LayTiles(canvas, box, [&](int x, int y) { return &tiles[(x * 3 + y) % 9]; });
    DrawMarker(canvas, 200, 150);
    DrawCredit(canvas, "RAINVIEWER.COM + NASA GIBS  2026-12-07 16:00 UTC");
    benchmark::DoNotOptimize(EncodeMapJpeg(canvas));
  }
}
BENCHMARK(BM_ComposeFromCachedTiles)->Unit(benchmark::kMillisecond);

void BM_ColdPicture(benchmark::State& state) {
  MapStandIn standIn;
  standIn.SetBlob(52, 0);
  int city = 0;
  for (auto _ : state) {
    LiveMaps maps(Unlimited(standIn), MakeCurlUpstreamClient(), SystemMapClock());
    const double lon = -170 + (city++ % 34) * 10;
    const LivePicture picture = maps.Picture(MapKind::Radar, {"X", "X", "", 45, lon, ""});
    if (picture.sample) state.SkipWithError("the stand-ins gave no live picture");
  }
}
BENCHMARK(BM_ColdPicture)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
}  // namespace cirrodex::service

BENCHMARK_MAIN();
