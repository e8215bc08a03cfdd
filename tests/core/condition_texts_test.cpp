#include "core/condition_texts.h"

#include <gtest/gtest.h>

namespace cirrodex {
namespace {

TEST(ConditionText, GivesTheTextOfExactCodes) {
  const struct {
    int32_t code;
    const wchar_t* text;
  } cases[] = {
      {1, L"Cloudy"},
      {11, L"Clear"},
      {997, L"Clear"},
      {18, L"Rain"},
      {231, L"Rain"},
      {37, L"Partly Cloudy/Windy"},
      {988, L"Partly Cloudy/Windy"},
      {106, L"Hvy Rain/Freezing Rain"},
      {259, L"Hvy Rain/Freezing Rain"},
      {46, L"Mostly Clear / Wind"},
      {183, L"Snow Showers / Wind Early"},
      {996, L"Light Snow Shower/ Windy"},
      {999, L"Fair"},
      {998, L"A Few Clouds"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConditionText(c.code), c.text) << c.code;
}

TEST(ConditionText, NamesCodesOutsideTheTable) {
  EXPECT_EQ(ConditionText(0), L"<unknown 0>");
  EXPECT_EQ(ConditionText(2), L"<unknown 2>");
  EXPECT_EQ(ConditionText(1000), L"<unknown 1000>");
  EXPECT_EQ(ConditionText(-7), L"<unknown -7>");
  EXPECT_EQ(ConditionText(INT32_MIN), L"<unknown -2147483648>");
}

TEST(ConditionText, TableHoldsExactly137CodesOfAtMost25Characters) {
  int known = 0;
  size_t longest = 0;
  for (int32_t code = -10; code <= 1100; ++code) {
    const std::wstring text = ConditionText(code);
    if (text.rfind(L"<unknown", 0) == 0) continue;
    ++known;
    longest = std::max(longest, text.size());
  }
  EXPECT_EQ(known, kConditionTextCount);
  EXPECT_EQ(longest, static_cast<size_t>(kLongestConditionText));
}

TEST(WeekdayName, GivesShortAndLongNamesFromSunday) {
  const wchar_t* shortNames[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
  const wchar_t* longNames[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                L"Thursday", L"Friday", L"Saturday"};
  for (int n = 1; n <= 7; ++n) {
    EXPECT_EQ(WeekdayName(n, WeekdayForm::Short), shortNames[n - 1]);
    EXPECT_EQ(WeekdayName(n, WeekdayForm::Long), longNames[n - 1]);
  }
}

TEST(WeekdayName, OutOfRangeIsQuestionMarks) {
  for (int32_t n : {0, 8, -1, 1000}) {
    EXPECT_EQ(WeekdayName(n, WeekdayForm::Short), L"???") << n;
    EXPECT_EQ(WeekdayName(n, WeekdayForm::Long), L"???") << n;
  }
}

TEST(IconFileName, IsTheNumberInTheBmpFolder) {
  EXPECT_EQ(IconFileName(5), L"bmp\\5.bmp");
  EXPECT_EQ(IconFileName(0), L"bmp\\0.bmp");
  EXPECT_EQ(IconFileName(47), L"bmp\\47.bmp");
  EXPECT_EQ(IconFileName(-3), L"bmp\\-3.bmp");
  EXPECT_EQ(IconPath(L"\\program files\\velbrook\\nimbrel", 12),
            L"\\program files\\velbrook\\nimbrel\\bmp\\12.bmp");
}

}  // namespace
}  // namespace cirrodex
