// The shipped region files, read by the chooser's rule: the rules their generator keeps.
#include "core/region_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "platform/text.h"
#include "tests/support/read_lines.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using testing::ReadFile;

bool IsLetterOrDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

TEST(ShippedRegionFiles, KeepTheGeneratorsRules) {
  const std::filesystem::path folder = testing::SourceDir() / "package" / "citycodes";
  std::map<std::wstring, std::wstring> nameOfCode;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".csv") continue;
    ++files;
    const std::string file = entry.path().filename().string();
    const std::string bytes = ReadFile(entry.path());
    // Every line is one location read whole: one read of the chooser takes it all.
    size_t lines = 0;
    for (const std::wstring& line : testing::SplitReadLines(platform::FromUtf8(bytes))) {
      EXPECT_LT(line.size(), kMaxLineRead) << file;
      ++lines;
    }
    std::set<std::wstring> names;
    std::wstring previous;
    std::vector<RegionLocation> locations = ParseRegionText(bytes);
    EXPECT_EQ(locations.size(), lines) << file;
    for (const RegionLocation& location : locations) {
      EXPECT_EQ(location.code.size(), kCityCodeLength) << file;
      EXPECT_TRUE(std::all_of(location.code.begin(), location.code.end(), IsLetterOrDigit))
          << file << ": " << location.code;
      EXPECT_TRUE(nameOfCode.emplace(location.code, location.name).second)
          << "code twice: " << location.code;
      // A name twice in one country would be two entries nobody can tell apart.
      EXPECT_TRUE(names.insert(location.name).second) << file << ": name twice";
    }
  }
  EXPECT_GE(files, 200u);
  EXPECT_GE(nameOfCode.size(), 24000u);

  // The codes that shipped before the country files keep their cities.
  const std::vector<RegionLocation> first = ParseRegionText(
      ReadFile(testing::SourceDir() / "scripts" / "region-files" / "first-codes.csv"));
  EXPECT_EQ(first.size(), 63u);
  for (const RegionLocation& location : first) {
    const auto shipped = nameOfCode.find(location.code);
    ASSERT_NE(shipped, nameOfCode.end()) << location.code;
    // Told apart from a namesake, it may carry its state: "Washington (District of Columbia)".
    EXPECT_TRUE(shipped->second == location.name ||
                shipped->second.starts_with(location.name + L" ("))
        << location.code;
  }
  EXPECT_EQ(nameOfCode[L"USDC0001"], L"Washington (District of Columbia)");
}

}  // namespace
}  // namespace cirrodex
