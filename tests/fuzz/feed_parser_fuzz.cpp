// The feed parser on any text. The first byte chooses how the rest becomes wide text: even, each
// byte one character, as the fetch hands a body over; odd, little-endian 16-bit units, as a feed
// stored in the registry reads back. Whatever is left after a "\x01" unit is parsed into the same
// report afterwards, as the next download of the same city is.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "core/weather_report.h"
#include "tests/fuzz/fuzz_device.h"

namespace {

using cirrodex::ForecastDay;
using cirrodex::kFeedTextCapacity;
using cirrodex::WeatherReport;
using cirrodex::fuzzing::Fail;

std::wstring Widen(const uint8_t* data, size_t size, bool units16) {
  std::wstring text;
  if (units16) {
    for (size_t i = 0; i + 1 < size; i += 2) {
      text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    }
  } else {
    for (size_t i = 0; i < size; ++i) text += static_cast<wchar_t>(data[i]);
  }
  return text;
}

template <size_t N>
void CheckTerminated(const wchar_t (&field)[N], const char* name) {
  if (wcsnlen(field, N) == N) Fail(name);
}

void CheckReport(const WeatherReport& report) {
  CheckTerminated(report.city, "city unterminated");
  CheckTerminated(report.subDivision, "subDivision unterminated");
  CheckTerminated(report.region, "region unterminated");
  CheckTerminated(report.country, "country unterminated");
  CheckTerminated(report.lastUpdated, "lastUpdated unterminated");
  CheckTerminated(report.conditionText, "conditionText unterminated");
  CheckTerminated(report.feedText, "feedText unterminated");
  for (const ForecastDay& day : report.blocks) {
    CheckTerminated(day.dateText, "dateText unterminated");
    CheckTerminated(day.windDirection, "windDirection unterminated");
  }
  const int32_t point = cirrodex::WindCompassPoint(report);
  if (point < -1 || point > 15) Fail("compass point out of range");
}

// Parses `text` and then the same text again, which must count as unchanged and leave the
// report as it was.
void ParseTwice(WeatherReport& report, const std::wstring& text) {
  bool changed = false;
  cirrodex::ParseFeed(report, text.c_str(), changed);
  CheckReport(report);
  const std::wstring kept = report.feedText;
  // Only the text up to its first terminator counts, cut to the capacity.
  const std::wstring expected = std::wstring(text.c_str()).substr(0, kFeedTextCapacity - 1);
  if (kept != expected) Fail("feedText is not the cut text");

  // Nothing may be written on the unchanged path, so even padding compares equal.
  static unsigned char blocks[sizeof report.blocks];
  std::memcpy(blocks, report.blocks, sizeof blocks);
  const std::wstring lastUpdated = report.lastUpdated;
  const std::wstring city = report.city;
  bool again = true;
  cirrodex::ParseFeed(report, text.c_str(), again);
  if (again) Fail("the same text parsed twice counts as changed");
  if (std::memcmp(blocks, report.blocks, sizeof blocks) != 0 || lastUpdated != report.lastUpdated ||
      city != report.city) {
    Fail("an unchanged text changed the report");
  }
  // The kept text fed back (a report primed from the stored feed) is unchanged too.
  cirrodex::ParseFeed(report, kept.c_str(), again);
  if (again) Fail("the kept text counts as changed");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cirrodex::fuzzing::FuzzDevice();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const WeatherReport kFresh;
  const bool units16 = (data[0] & 1) != 0;
  std::wstring text = Widen(data + 1, size - 1, units16);

  std::wstring next;
  const size_t split = text.find(L'\x01');
  const bool twoFeeds = split != std::wstring::npos;
  if (twoFeeds) {
    next = text.substr(split + 1);
    text.resize(split);
  }

  WeatherReport report = kFresh;
  ParseTwice(report, text);
  if (twoFeeds) ParseTwice(report, next);

  bool changed = false;
  cirrodex::ParseFeed(report, nullptr, changed);
  CheckReport(report);
  return 0;
}
