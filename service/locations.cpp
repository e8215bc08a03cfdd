#include "service/locations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace cirrodex::service {

namespace {

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

bool ReadDegrees(const std::string& text, double limit, double& value) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  value = std::strtod(trimmed.c_str(), &end);
  return *end == '\0' && value >= -limit && value <= limit;
}

}  // namespace

std::optional<Location> ParseLocationLine(const std::string& line, const std::string& region) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() < 4) return std::nullopt;

  Location location;
  location.name = Trim(fields[0]);
  location.code = Trim(fields[1]);
  location.region = region;
  if (location.name.empty() || location.code.size() != 8) return std::nullopt;
  for (char c : location.code) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return std::nullopt;
  }
  if (!ReadDegrees(fields[2], 90, location.latitude) ||
      !ReadDegrees(fields[3], 180, location.longitude)) {
    return std::nullopt;
  }
  return location;
}

size_t LocationIndex::LoadFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.is_regular_file(error) && entry.path().extension() == ".csv") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());  // so that which duplicate wins does not vary
  for (const auto& file : files) {
    std::ifstream in(file);
    const std::string region = file.stem().string();
    std::string line;
    while (std::getline(in, line)) {
      if (auto location = ParseLocationLine(line, region)) {
        byCode_.emplace(location->code, std::move(*location));
      }
    }
  }
  return byCode_.size();
}

const Location* LocationIndex::Find(const std::string& code) const {
  const auto found = byCode_.find(code);
  return found == byCode_.end() ? nullptr : &found->second;
}

}  // namespace cirrodex::service
