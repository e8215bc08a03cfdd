// Stand-ins on 127.0.0.1 for the map sources, in their documented shapes: RainViewer's radar
// index and PNG tiles (with one red blob at a chosen place), and a GIBS WMS answering grey JPEG
// pictures of the asked size. A fault switch makes them misbehave; a driven clock for the maps.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "imaging/png_decode.h"
#include "service/maps/map_compositor.h"
#include "service/maps/rate_gate.h"
#include "tests/support/raw_server.h"

namespace cirrodex::service {

// Time moves only when a caller sleeps, or when the test says.
class DrivenClock : public MapClock {
 public:
  explicit DrivenClock(std::time_t start) : start_(start) {}
  std::time_t Now() override {
    std::lock_guard lock(mutex_);
    return start_ + static_cast<std::time_t>(seconds_ - kOrigin);
  }
  double Monotonic() override {
    std::lock_guard lock(mutex_);
    return seconds_;
  }
  void SleepUntil(double when) override {
    std::lock_guard lock(mutex_);
    seconds_ = std::max(seconds_, when);
  }
  void Advance(double seconds) {
    std::lock_guard lock(mutex_);
    seconds_ += seconds;
  }

 private:
  std::mutex mutex_;
  std::time_t start_;
  static constexpr double kOrigin = 1000;  // the monotonic clock does not start at 0
  double seconds_ = kOrigin;
};

enum class MapFault {
  None,
  Down,                // every answer is 500
  TruncatedTile,       // tiles cut in half
  HugeTile,            // tiles whose header claims 20000 x 20000 pixels
  HtmlTile,            // an HTML error page with status 200 instead of a tile
  IndexWithoutFrames,  // the index lists no past frame
  ServiceException,    // the WMS answers a ServiceException document
};

class MapStandIn {
 public:
  MapStandIn()
      : server_([this](testing::RawServer::Connection& c) { Handle(c); },
                testing::RawServer::Serving::Concurrently) {}

  std::string IndexUrl() const { return server_.Url("/public/weather-maps.json"); }
  std::string WmsUrl() const { return server_.Url("/wms/epsg3857/best/wms.cgi"); }

  void SetFrame(std::time_t time) {
    Locked([&] { frame_ = time; });
  }
  void SetFault(MapFault fault) {
    Locked([&] { fault_ = fault; });
  }
  // The red 5 x 5 blob on every radar frame, at zoom 6.
  void SetBlob(double latitude, double longitude) {
    Locked([&] {
      const double side = 256.0 * 64;
      const double lat = latitude * M_PI / 180;
      blobX_ = static_cast<long long>(std::floor((longitude + 180) / 360 * side));
      blobY_ = static_cast<long long>(
          std::floor((1 - std::log(std::tan(lat) + 1 / std::cos(lat)) / M_PI) / 2 * side));
    });
  }
  std::vector<std::string> WmsTargets() {
    std::lock_guard lock(mutex_);
    return wms_;
  }
  int TileRequests() {
    std::lock_guard lock(mutex_);
    return tiles_;
  }
  int IndexRequests() {
    std::lock_guard lock(mutex_);
    return indexes_;
  }

 private:
  template <class F>
  void Locked(F f) {
    std::lock_guard lock(mutex_);
    f();
  }

  std::string Tile(int x, int y) const {
    RgbaPicture tile;
    tile.width = tile.height = 256;
    tile.pixels.assign(256 * 256 * 4, 0);
    for (long long wy = blobY_ - 2; wy <= blobY_ + 2; ++wy) {
      for (long long wx = blobX_ - 2; wx <= blobX_ + 2; ++wx) {
        if (wx / 256 != x || wy / 256 != y) continue;
        uint8_t* p = &tile.pixels[((wy % 256) * 256 + wx % 256) * 4];
        p[0] = 230, p[1] = 20, p[2] = 20, p[3] = 255;
      }
    }
    return EncodePng(tile);
  }

  static std::string HugePng() {
    RgbaPicture one{1, 1, {0, 0, 0, 0}};
    std::string png = EncodePng(one);
    for (int i : {16, 20}) png.replace(i, 4, std::string("\0\0\x4e\x20", 4));  // 20000
    uint32_t crc = 0xFFFFFFFF;  // over the chunk type and data, as PNG asks
    for (int i = 12; i < 29; ++i) {
      crc ^= static_cast<uint8_t>(png[i]);
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    crc = ~crc;
    for (int k = 0; k < 4; ++k) png[29 + k] = static_cast<char>(crc >> (24 - 8 * k));
    return png;
  }

  void Handle(testing::RawServer::Connection& c) {
    const std::string path = c.Path();
    std::unique_lock lock(mutex_);
    const MapFault fault = fault_;
    const std::time_t frame = frame_;
    if (path == "/wms/epsg3857/best/wms.cgi") wms_.push_back(c.Target());
    if (fault == MapFault::Down) {
      lock.unlock();
      c.Reply(500, "text/plain", "down\n");
      return;
    }
    if (path == "/public/weather-maps.json") {
      ++indexes_;
      const std::string host = server_.Url();
      std::string past;
      if (fault != MapFault::IndexWithoutFrames) {
        for (std::time_t t : {frame - 600, frame}) {
          if (!past.empty()) past += ",";
          past += R"({"time":)" + std::to_string(t) + R"(,"path":"/v2/radar/f)" +
                  std::to_string(t) + "\"}";
        }
      }
      lock.unlock();
      c.Reply(200, "application/json",
              R"({"version":"2.0","generated":)" + std::to_string(frame) + R"(,"host":")" + host +
                  R"(","radar":{"past":[)" + past + "]}}");
    } else if (path.rfind("/v2/radar/", 0) == 0) {
      ++tiles_;
      int z = 0, x = 0, y = 0;
      const size_t size = path.find("/256/");
      std::sscanf(path.c_str() + size, "/256/%d/%d/%d/", &z, &x, &y);
      std::string body = Tile(x, y);
      lock.unlock();
      if (fault == MapFault::TruncatedTile) body.resize(body.size() / 2);
      if (fault == MapFault::HugeTile) body = HugePng();
      if (fault == MapFault::HtmlTile) {
        c.Reply(200, "text/html", "<html><body>Service unavailable</body></html>");
      } else {
        c.Reply(200, "image/png", body);
      }
    } else if (path == "/wms/epsg3857/best/wms.cgi") {
      lock.unlock();
      if (fault == MapFault::ServiceException) {
        c.Reply(200, "text/xml",
                R"(<?xml version="1.0" encoding="UTF-8"?><ServiceExceptionReport version="1.3.0">)"
                R"(<ServiceException code="InvalidParameterValue">Invalid TIME</ServiceException>)"
                "</ServiceExceptionReport>");
        return;
      }
      const int width = std::atoi(c.Param("WIDTH").c_str());
      const int height = std::atoi(c.Param("HEIGHT").c_str());
      if (width <= 0 || height <= 0 || width > 2048 || height > 2048) {
        c.Reply(400, "text/plain", "bad size\n");
        return;
      }
      c.Reply(200, "image/jpeg", EncodeMapJpeg(BlankPicture(width, height, 128, 128, 128)));
    } else {
      lock.unlock();
      c.Reply(404, "text/plain", "not found\n");
    }
  }

  std::mutex mutex_;
  MapFault fault_ = MapFault::None;
  std::time_t frame_ = 1796659200;  // 2026-12-07 12:00 UTC
  long long blobX_ = -100, blobY_ = -100;
  std::vector<std::string> wms_;
  int tiles_ = 0;
  int indexes_ = 0;
  testing::RawServer server_;  // last: stops before the members it reads go
};

}  // namespace cirrodex::service
