// The locations the service knows: every line of the shipped region files of city codes.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace cirrodex::service {

struct Location {
  std::string name;      // as written before the first comma
  std::string code;      // eight characters, such as "UKXX0085"
  std::string region;    // the file name without ".csv", such as "Europe"
  double latitude = 0;   // degrees north
  double longitude = 0;  // degrees east
};

// Parses one line "Name, CODE, LAT, LON". A line without a comma, or whose code is not eight
// letters and digits or whose coordinates do not read, gives nothing.
std::optional<Location> ParseLocationLine(const std::string& line, const std::string& region);

class LocationIndex {
 public:
  // Reads every "*.csv" file of `folder`; unreadable files and lines are skipped. The first line
  // of a code wins. Returns the number of locations known afterwards.
  size_t LoadFolder(const std::filesystem::path& folder);
  const Location* Find(const std::string& code) const;
  size_t size() const { return byCode_.size(); }

 private:
  std::map<std::string, Location> byCode_;
};

}  // namespace cirrodex::service
