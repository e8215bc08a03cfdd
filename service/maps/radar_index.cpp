#include "service/maps/radar_index.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace cirrodex::service {

namespace {

// Colour scheme 2 (Universal Blue) keeps light rain visible on the 30-pixel icon crop; options
// "1_1" smooth the edges and show snow.
constexpr char kTileStyle[] = "/2/1_1.png";

bool PlainPath(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.size() > 255) return false;
  return std::all_of(path.begin(), path.end(), [](unsigned char c) {
    return std::isalnum(c) != 0 || c == '/' || c == '_' || c == '-' || c == '.';
  });
}

bool WebAddress(const std::string& host) {
  const bool scheme = host.rfind("http://", 0) == 0 || host.rfind("https://", 0) == 0;
  return scheme && host.size() <= 255 &&
         std::none_of(host.begin(), host.end(),
                      [](unsigned char c) { return c <= ' ' || c == '?' || c == '#'; });
}

}  // namespace

std::optional<RadarIndex> ParseRadarIndex(std::string_view document, std::string& error) {
  const nlohmann::json json = nlohmann::json::parse(document, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    error = "the radar index is not a JSON object";
    return std::nullopt;
  }
  RadarIndex index;
  const auto host = json.find("host");
  if (host == json.end() || !host->is_string() || !WebAddress(host->get<std::string>())) {
    error = "the radar index names no http(s) host";
    return std::nullopt;
  }
  index.host = host->get<std::string>();
  while (!index.host.empty() && index.host.back() == '/') index.host.pop_back();
  const auto radar = json.find("radar");
  if (radar != json.end() && radar->is_object()) {
    const auto past = radar->find("past");
    if (past != radar->end() && past->is_array()) {
      for (const auto& item : *past) {
        if (!item.is_object()) continue;
        const auto time = item.find("time");
        const auto path = item.find("path");
        if (time == item.end() || !time->is_number_integer() || path == item.end() ||
            !path->is_string() || !PlainPath(path->get<std::string>())) {
          continue;
        }
        index.frames.push_back({time->get<std::time_t>(), path->get<std::string>()});
      }
    }
  }
  if (index.frames.empty()) {
    error = "the radar index holds no past frames";
    return std::nullopt;
  }
  std::stable_sort(index.frames.begin(), index.frames.end(),
                   [](const RadarFrame& a, const RadarFrame& b) { return a.time < b.time; });
  return index;
}

std::string RadarTileUrl(const RadarIndex& index, const RadarFrame& frame, int zoom, int x, int y) {
  return index.host + frame.path + "/256/" + std::to_string(zoom) + "/" + std::to_string(x) + "/" +
         std::to_string(y) + kTileStyle;
}

RadarIndexSource::RadarIndexSource(std::string url, UpstreamClient& client, RateGate& gate)
    : url_(std::move(url)), client_(client), gate_(gate) {}

std::optional<RadarIndex> RadarIndexSource::Current(std::time_t now, std::time_t maxAge,
                                                    std::string& error) {
  std::lock_guard lock(mutex_);
  if (!asked_ || std::llabs(static_cast<long long>(now - askedAt_)) >= kRadarIndexInterval) {
    // A request that cannot get its turn within a few seconds is not made; the last index
    // serves until the next one.
    if (gate_.Take(5)) {
      asked_ = true;
      askedAt_ = now;
      const UpstreamReply reply = client_.Get(url_);
      std::string why;
      if (!reply.reached) {
        why = "the radar index cannot be reached: " + reply.error;
      } else if (reply.status != 200) {
        why = "the radar index answered status " + std::to_string(reply.status);
      } else if (auto index = ParseRadarIndex(reply.body, why)) {
        index_ = std::move(index);
        why.clear();
      }
      health_.Record(why);
    } else if (!index_) {
      health_.Record("the radar source's request budget is spent");
    }
  }
  const std::string problem = health_.Problem();
  if (!index_ || now - index_->Latest().time > maxAge) {
    error = problem.empty() ? "no radar index is recent enough" : problem;
    return std::nullopt;
  }
  // A frame dated ahead of the clock is no more live than a stale one.
  if (index_->Latest().time - now > kRadarFrameAhead) {
    error = "the radar index's latest frame lies " +
            std::to_string((index_->Latest().time - now) / 60) + " minutes ahead";
    return std::nullopt;
  }
  error = problem;
  return index_;
}

}  // namespace cirrodex::service
