// The locations the service knows: every line of the shipped region files of city codes, and any
// point on Earth by a coordinate code such as "N6965E01896".
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cirrodex::service {

struct FeedWeather;

struct Location {
  std::string name;      // as written before the first comma (UTF-8)
  std::string code;      // eight characters, such as "UKXX0085", or a coordinate code
  std::string region;    // the file name without ".csv": the country, such as "Norway"
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
  std::string state;     // the state or province; may be empty
};

// Parses one line "Name, CODE, LAT, LON[, STATE]" by the chooser's rule for name and code. A line
// without a comma, or whose code is not eight letters and digits or whose coordinates do not
// read, gives nothing.
std::optional<Location> ParseLocationLine(const std::string& line, const std::string& region);

struct Coordinates {
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
};

// A coordinate code: "N" or "S", four digits of latitude in hundredths of a degree, "E" or "W",
// five digits of longitude in hundredths ("N6965E01896" is 69.65 N, 18.96 E). Nothing for any
// other text, or for a point beyond 90 degrees of latitude or 180 of longitude.
std::optional<Coordinates> ParseCoordinateCode(std::string_view code);

// "69.65N 18.96E".
std::string CoordinatesText(const Coordinates& point);

// A named place within this distance of a coordinate code lends it its name.
inline constexpr double kNamingRadiusKm = 30;
// Within this distance the code is the place itself rather than "near" it.
inline constexpr double kSamePlaceKm = 5;

double DistanceKm(const Coordinates& a, const Coordinates& b);

// The place fields of a feed for `location`: its name (with `mark` appended) as the city, its
// country, the state letters of a first United States code, and as region its state or, without
// one, its country.
void SetFeedPlace(const Location& location, const std::string& mark, FeedWeather& weather);

// The code a client asks for when its selected city has none; unless the region files list it,
// it is served as the first home city, London.
inline constexpr char kFallbackCode[] = "UKXX0260";
inline constexpr char kFallbackStandIn[] = "UKXX0085";

class LocationIndex {
 public:
  // Reads every "*.csv" file of `folder`; unreadable files and lines are skipped. The first line
  // of a code wins (files in name order). Returns the number of locations known afterwards.
  size_t LoadFolder(const std::filesystem::path& folder);
  // The location of a code of the region files; null for any other code.
  const Location* Find(const std::string& code) const;
  // The location of a code of the region files or of a coordinate code: the point named after
  // the nearest location within kNamingRadiusKm ("Tromsø", "near Tromsø"), in that location's
  // country and state, or else by its coordinates ("69.65N 18.96E") with no country; also
  // kFallbackCode. Nothing for any other code. Codes are matched as given: callers upper-case.
  std::optional<Location> Resolve(const std::string& code) const;
  size_t size() const { return byCode_.size(); }

 private:
  // The nearest location to `point`, or null when none is within `radiusKm`.
  const Location* Nearest(const Coordinates& point, double radiusKm) const;

  std::vector<Location> locations_;  // in the order read
  // The codes (as numbers) and their locations' indices, sorted, each code once.
  std::vector<std::pair<uint64_t, uint32_t>> byCode_;
};

}  // namespace cirrodex::service
