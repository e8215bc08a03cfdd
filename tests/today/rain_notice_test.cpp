// When the panel tells of rain: one notice per episode and city, none for sample weather, none
// outside the allowed hours or with notices off.
#include "today/rain_notice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cirrodex::today {
namespace {

constexpr RainOutlook kDry{true, false, -1};
constexpr RainOutlook kWet{true, true, 0};
constexpr RainOutlook kUnknown{};
constexpr RainOutlook In(int minutes) { return {true, false, minutes}; }

TEST(RainEpisodes, OneNoticePerEpisodeAndCity) {
  struct Step {
    const wchar_t* code;
    RainOutlook outlook;
    uint32_t minute;
    const wchar_t* notice;
  };
  struct Case {
    const char* what;
    RainNoticeContext context;
    std::vector<Step> steps;
  };
  const RainNoticeContext allowed{true, false, 0, 0, 1439};
  RainNoticeContext off = allowed;
  off.enabled = false;
  RainNoticeContext sample = allowed;
  sample.sample = true;
  const RainNoticeContext hours{true, false, 0, 7 * 60, 22 * 60};
  const Case cases[] = {
      {"rain within the hour, then the same episode again",
       allowed,
       {{L"UKXX0085", In(30), 13 * 60 + 50, L"Rain in London from about 14:20"},
        {L"UKXX0085", In(15), 14 * 60 + 5, L""},
        {L"UKXX0085", kWet, 14 * 60 + 20, L""},
        {L"UKXX0085", kUnknown, 14 * 60 + 30, L""},
        {L"UKXX0085", kDry, 15 * 60, L""},
        {L"UKXX0085", In(45), 16 * 60 + 2, L"Rain in London from about 16:45"}}},
      {"beyond the hour, and rain already falling",
       allowed,
       {{L"UKXX0085", In(75), 600, L""},
        {L"UKXX0085", kWet, 610, L""},
        {L"UKXX0085", In(10), 620, L""}}},
      {"two cities, an episode each",
       allowed,
       {{L"UKXX0085", In(60), 23 * 60 + 30, L"Rain in London from about 00:30"},
        {L"FRXX0076", In(0), 23 * 60 + 31, L"Rain in London from about 23:30"}}},
      {"notices off", off, {{L"UKXX0085", In(30), 600, L""}}},
      {"sample weather", sample, {{L"UKXX0085", In(30), 600, L""}}},
      {"outside the hours, then told once allowed",
       hours,
       {{L"UKXX0085", In(40), 6 * 60 + 45, L""},
        {L"UKXX0085", In(25), 7 * 60, L"Rain in London from about 07:25"},
        {L"UKXX0085", kDry, 21 * 60, L""},
        {L"UKXX0085", In(50), 22 * 60 + 1, L""}}},
  };
  for (const Case& c : cases) {
    RainEpisodes episodes;
    for (const Step& step : c.steps) {
      RainNoticeContext context = c.context;
      context.minuteOfDay = step.minute;
      EXPECT_EQ(episodes.Consider(step.code, L"London", step.outlook, context), step.notice)
          << c.what << ", at minute " << step.minute;
    }
  }
}

TEST(RainEpisodes, SampleWeatherIsKnownByItsName) {
  RainEpisodes episodes;
  EXPECT_EQ(episodes.Consider(L"UKXX0085", L"London (sample)", In(20), {}), L"");
  EXPECT_FALSE(IsSampleCity(L"Sample"));
}

}  // namespace
}  // namespace cirrodex::today
