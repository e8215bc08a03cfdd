// The region files: the first byte holds flags, then a file name up to the first line feed, then
// the file's bytes. The bytes are always parsed as text; with flag 1 they are also written under
// the given name into the citycodes folder and found and read back as the city chooser does.
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/device.h"
#include "platform/text.h"
#include "setup/sheet/region_files.h"
#include "tests/fuzz/fuzz_device.h"
#include "tests/support/read_lines.h"

namespace {

namespace fs = std::filesystem;
using cirrodex::RegionLocation;
using cirrodex::fuzzing::Fail;

constexpr wchar_t kInstallFolder[] = L"\\fuzz";
constexpr size_t kMaxFileName = 100;

void CheckLocations(const std::vector<RegionLocation>& locations, size_t lines) {
  if (locations.size() > lines) Fail("more locations than lines");
  for (const RegionLocation& location : locations) {
    if (location.name.size() > cirrodex::kMaxLocationName) Fail("name too long");
    if (location.code.size() > cirrodex::kCityCodeLength) Fail("code too long");
    if (location.name.find(L'\n') != std::wstring::npos) Fail("line feed in a name");
    if (location.code.find(L'\n') != std::wstring::npos) Fail("line feed in a code");
  }
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return text;
}

// Writes the file, lists the folder and reads the region back; it must give what parsing the
// bytes gave.
void RoundTrip(std::string name, std::string_view bytes,
               const std::vector<RegionLocation>& parsed) {
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") return;

  const fs::path folder =
      cirrodex::platform::DevicePath(std::wstring(kInstallFolder) + L"\\citycodes");
  std::error_code error;
  fs::remove_all(folder, error);
  fs::create_directories(folder, error);
  {
    std::ofstream out(folder / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return;  // a name the file system refuses
  }

  const std::vector<std::wstring> regions = cirrodex::FindRegions(kInstallFolder);
  const std::wstring upper = Upper(cirrodex::platform::FromUtf8(name));
  const size_t extension = upper.find(L".CSV");
  const bool listed = upper.size() >= 4 && upper.ends_with(L".CSV") && extension != 0;
  if (regions.size() != (listed ? 1u : 0u)) Fail("region list does not match the file name");
  if (!listed) return;
  if (regions[0] != upper.substr(0, extension)) Fail("wrong region name");
  // A name with ".CSV" twice lists by the part before the first, which names no file.
  if (extension + 4 != upper.size()) return;

  std::vector<RegionLocation> read;
  if (!cirrodex::ReadRegion(kInstallFolder, regions[0], read)) Fail("listed region unreadable");
  if (read.size() != parsed.size()) Fail("read back a different number of locations");
  for (size_t i = 0; i < read.size(); ++i) {
    if (read[i].name != parsed[i].name || read[i].code != parsed[i].code) {
      Fail("read back a different location");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cirrodex::fuzzing::FuzzDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t feed = rest.find('\n');
  std::string name(rest.substr(0, std::min(feed, kMaxFileName)));
  const std::string_view bytes = feed == std::string_view::npos ? rest : rest.substr(feed + 1);

  const std::wstring text = cirrodex::platform::FromUtf8(bytes);
  const std::vector<std::wstring> lines = cirrodex::testing::SplitReadLines(text);
  size_t total = 0;
  for (const std::wstring& line : lines) {
    if (line.size() > cirrodex::kMaxLineRead) Fail("line longer than one read");
    if (line.find(L'\n') != std::wstring::npos) Fail("line feed inside a line");
    total += line.size();
  }
  if (total > text.size()) Fail("lines hold more than the text");

  const std::vector<RegionLocation> parsed = cirrodex::ParseRegionText(bytes);
  CheckLocations(parsed, lines.size());

  if ((flags & 1) != 0) RoundTrip(std::move(name), bytes, parsed);
  return 0;
}
