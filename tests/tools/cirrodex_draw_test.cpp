#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry_store.h"
#include "platform/text.h"
#include "tests/support/bmp_writer.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_device.h"

namespace cirrodex {
namespace {

using ToolRun = testing::ProgramRun;
using testing::ReadFile;

// Weekday 9 is no day of the week, so no forecast day is ever taken for today, whatever the date.
constexpr char kFeed[] =
    "var swCity = \"Geneva\"; var swCountry = \"Switzerland\"; var swTemp = \"68\"; "
    "var swCIcon = \"32\"; var swWindS = \"7\"; var swWindD = \"NE\"; var swBaro = \"30.01\"; "
    "var swHumid = \"40\"; var swReal = \"70\"; var swUV = \"6\"; var swVis = \"9\"; "
    "var swLastUp = \"6/2/2025 9:00:00\"; var swConText = \"Sunny\"; "
    "var swFore = \"9|9|9|9|9|6/3/2025|6/4/2025|6/5/2025|6/6/2025|6/7/2025|32|30|12|26|4|"
    "24|4|18|1|53|77|75|60|62|70|0|20|70|40|90|31|29|11|27|47|11|4|18|3|43|55|54|50|52|53\";";

class DrawTool : public testing::DeviceTest {
 protected:
  ToolRun Draw(const std::vector<std::string>& args) {
    return testing::RunProgram(testing::BuildDir() / "bin" / "cirrodex-draw", args,
                               testing::RunOptions{});
  }

  std::string FeedFile() {
    const std::filesystem::path file = device_.root() / "feed.txt";
    std::ofstream(file) << kFeed;
    return file.string();
  }

  std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return lines;
  }
};

TEST_F(DrawTool, ListsTheStripOfALayout) {
  testing::WriteFile(device_.Path(L"\\program files\\velbrook\\nimbrel\\bmp\\32.bmp"),
                     testing::MakeBorderedBmp(32, 32));
  const ToolRun run = Draw({"summary", "--feed", FeedFile(), "--layout", "2", "--list"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 5u + 3u * 5u);
  EXPECT_EQ(lines[0], "bitmap 71,0 28x28 2,2 \\program files\\velbrook\\nimbrel\\bmp\\32.bmp");
  EXPECT_EQ(lines[1], "text 11,0,98,30 0x30 Tahoma/9 \"Geneva\"");
  EXPECT_EQ(lines[2], "text 11,7,98,30 0x30 Tahoma/9 \"Sunny\"");
  EXPECT_EQ(lines[3], "text 11,14,98,30 0x30 Tahoma/9 \"21ºC\"");
  EXPECT_EQ(lines[4], "text 11,21,98,30 0x30 Tahoma/9 \"7mph NE 0%rain\"");
  EXPECT_EQ(lines[5], "bitmap 115,0 28x28 2,2 \\program files\\velbrook\\nimbrel\\bmp\\32.bmp");
  EXPECT_EQ(lines[6], "text 99,0,141,30 0x30 Tahoma/9 \"???\"");
  EXPECT_EQ(lines[7], "text 99,7,141,30 0x30 Tahoma/9 \"25ºC\"");
  EXPECT_EQ(lines[10], "bitmap-missing \\program files\\velbrook\\nimbrel\\bmp\\30.bmp");
  EXPECT_EQ(lines[19], "text 187,21,229,30 0x30 Tahoma/9 \"70%\"");
}

TEST_F(DrawTool, UnitAndLayoutComeFromTheOptions) {
  const ToolRun run =
      Draw({"summary", "--feed", FeedFile(), "--layout", "5", "--unit", "1", "--list"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("text 11,24,120,40 0x30 Tahoma/13 \"70ºF\"\n"), std::string::npos)
      << run.out;
}

TEST_F(DrawTool, StatusLineUsesTheGivenOrStoredResult) {
  ToolRun run = Draw({"status", "--feed", FeedFile(), "--result", "12007", "--layout", "5"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "text 10,40,230,48 0x38 Tahoma/9 \"Last updated: 02/06/2025 15:00:00 GMT - No Internet "
            "Connection\"\n");

  std::wstring feed = platform::FromUtf8(kFeed);
  std::u16string stored = platform::ToUtf16(feed);
  stored.push_back(u'\0');
  auto& registry = platform::Registry();
  const std::wstring key = L"SOFTWARE\\Velbrook\\Cirrodex\\SZXX0013";
  ASSERT_TRUE(registry.CreateKeyAndSetValue(platform::RootKey::CurrentUser, key,
                                            L"WeatherPreviousData", platform::REG_SZ, stored.data(),
                                            stored.size() * 2));
  const uint32_t result = 12029;
  ASSERT_TRUE(registry.CreateKeyAndSetValue(platform::RootKey::CurrentUser, key, L"DownloadResult",
                                            platform::REG_DWORD, &result, 4));
  run = Draw({"status", "--city", "SZXX0013"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "text 10,30,230,38 0x38 Tahoma/9 \"Last updated: 02/06/2025 15:00:00 GMT - Please "
            "check internet access\"\n");
}

TEST_F(DrawTool, DrawsThePagesInTheirRectangles) {
  ToolRun run = Draw({"forecast", "--feed", FeedFile()});
  ASSERT_EQ(run.status, 0) << run.err;
  auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 5u * 10u + 1u);
  EXPECT_EQ(lines[0], "text 0,0,240,53 0x30 Tahoma/9 \"???\"");
  EXPECT_EQ(lines.back(),
            "text 0,0,240,268 0x39 Tahoma/9 \"Last updated: 02/06/2025 15:00:00 GMT\"");

  run = Draw({"current", "--feed", FeedFile(), "--result", "0"});
  ASSERT_EQ(run.status, 0) << run.err;
  lines = Lines(run.out);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], "text 5,20,235,35 0x30 Tahoma/9 \"Not downloaded\"");
  EXPECT_NE(run.out.find("polyline 4,110 4,150 118,150 118,110 4,110\n"), std::string::npos);
}

TEST_F(DrawTool, WritesAPngOfTheRectanglesSize) {
  const std::string png = (device_.root() / "strip.png").string();
  const ToolRun run = Draw({"summary", "--feed", FeedFile(), "--layout", "5", "--png", png});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string bytes = ReadFile(png);
  ASSERT_GT(bytes.size(), 24u);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
  auto be32 = [&](size_t at) {
    return (static_cast<uint8_t>(bytes[at]) << 24) | (static_cast<uint8_t>(bytes[at + 1]) << 16) |
           (static_cast<uint8_t>(bytes[at + 2]) << 8) | static_cast<uint8_t>(bytes[at + 3]);
  };
  EXPECT_EQ(be32(16), 220);
  EXPECT_EQ(be32(20), 40);
}

TEST_F(DrawTool, RefusesWhatItCannotDo) {
  const struct {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{}, 2, "a KIND is needed"},
      {{"radar"}, 2, "unknown KIND"},
      {{"summary", "--layout"}, 2, "--layout needs a value"},
      {{"summary", "--layout", "x"}, 2, "--layout needs a number"},
      {{"summary", "--feed", "a", "--city", "b"}, 2, "exclude each other"},
      {{"summary", "--bogus", "1"}, 2, "unknown option"},
      {{"summary", "--feed", "/nonexistent/feed"}, 1, "cannot read the feed file"},
      {{"summary", "--city", "XXXX0000"}, 1, "no stored weather for city XXXX0000"},
      {{"summary", "--feed", "", "--png", "/nonexistent/dir/a.png"}, 1, "cannot read"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Draw(c.args);
    EXPECT_EQ(run.status, c.status) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  const ToolRun run = Draw({"summary", "--feed", FeedFile(), "--png", "/nonexistent/dir/a.png"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write the picture"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace cirrodex
