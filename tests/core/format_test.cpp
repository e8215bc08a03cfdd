#include "core/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/text.h"

namespace cirrodex {
namespace {

TEST(WideFormat, FormatsLikeThePrintfFamily) {
  EXPECT_EQ(WFormat(L"%ls\\%ls%03ld", L"Key", L"Log", 7L), L"Key\\Log007");
  EXPECT_EQ(WFormat(L"%s%0d", "CityCode", 6), L"CityCode6");
  std::wstring longText(5000, L'x');
  EXPECT_EQ(WFormat(L"<%ls>", longText.c_str()), L"<" + longText + L">");
}

// The C library's printf in the C locale is the reference for the fixed-point form.
TEST(WideFormat, FixedMatchesPrintfInTheCLocale) {
  const double values[] = {0.0, -0.0, 21.5, -3.745, 293.15, 491.67, -9999.9, 1e15, 0.005, 2.675};
  for (double v : values) {
    for (int width : {0, 2, 8}) {
      for (int precision : {0, 1, 2, 6}) {
        char expected[128];
        std::snprintf(expected, sizeof expected, "%*.*f", width, precision, v);
        EXPECT_EQ(platform::ToUtf8(FormatFixed(v, width, precision)), expected)
            << v << " " << width << " " << precision;
      }
    }
  }
}

TEST(WideFormat, NumbersIgnoreTheProcessLocale) {
  // Locales whose decimal separator is a comma.
  const char* locales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"};
  const char* chosen = nullptr;
  for (const char* name : locales) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  double value = 0;
  bool read = ScanDouble(L"29.92", value);
  std::wstring text = FormatFixed(21.5, 2, 2);
  std::setlocale(LC_ALL, "C");
  if (chosen == nullptr) GTEST_SKIP() << "no other locale installed";
  EXPECT_TRUE(read);
  EXPECT_EQ(value, 29.92);
  EXPECT_EQ(text, L"21.50");
}

struct ScanCase {
  const wchar_t* text;
  bool reads;
};

// swscanf in the C locale is the reference, except for what the system deliberately refuses.
TEST(NumberScan, IntegersReadAsTheFormattedScan) {
  const ScanCase cases[] = {
      {L"42", true},          {L"  -17x", true}, {L"+8", true},  {L"\t\n 3", true},
      {L"12.9", true},        {L"x1", false},    {L"", false},   {L"-", false},
      {L"+ 1", false},        {L"0x1F", true},   {L"007", true}, {L"2147483647", true},
      {L"-2147483648", true},
  };
  for (const ScanCase& c : cases) {
    int32_t value = -5;
    long expected = -5;
    int count = std::swscanf(c.text, L"%ld", &expected);
    EXPECT_EQ(ScanInt(c.text, value), c.reads) << platform::ToUtf8(c.text);
    EXPECT_EQ(count == 1, c.reads);
    EXPECT_EQ(value, static_cast<int32_t>(expected)) << platform::ToUtf8(c.text);
  }
  int32_t value = 0;
  EXPECT_TRUE(ScanInt(L"99999999999999999999", value));
  EXPECT_EQ(value, 2147483647);
  EXPECT_TRUE(ScanInt(L"-2147483649", value));
  EXPECT_EQ(value, -2147483647 - 1);
  EXPECT_TRUE(ScanInt(std::wstring_view(L"12345", 2), value));
  EXPECT_EQ(value, 12);
}

TEST(NumberScan, DecimalsReadAsTheFormattedScan) {
  const ScanCase cases[] = {
      {L"29.92", true},
      {L" -3.5abc", true},
      {L"+30.1e0", true},
      {L"1.", true},
      {L".5", true},
      {L"1e", true},
      {L"1e+", true},
      {L"2E-3x", true},
      {L"45", true},
      {L"x", false},
      {L".", false},
      {L"", false},
      {L"-.", false},
      {L"0.1234567890123456789", true},
      {L"-0000000000000000000000000000000000000000000000000000000000000000000000001.5e+1", true},
  };
  for (const ScanCase& c : cases) {
    double value = -5;
    double expected = -5;
    int count = std::swscanf(c.text, L"%lf", &expected);
    EXPECT_EQ(ScanDouble(c.text, value), c.reads) << platform::ToUtf8(c.text);
    EXPECT_EQ(count == 1, c.reads) << platform::ToUtf8(c.text);
    EXPECT_EQ(value, expected) << platform::ToUtf8(c.text);
  }
  // The C library reads these; the feed never means them.
  for (const wchar_t* refused : {L"inf", L"-nan", L"0x10", L"1e999"}) {
    double value = 7;
    bool read = ScanDouble(refused, value);
    if (std::wstring_view(refused) == L"0x10") {
      EXPECT_TRUE(read);
      EXPECT_EQ(value, 0.0);  // the "x" ends the number
    } else {
      EXPECT_FALSE(read) << platform::ToUtf8(refused);
      EXPECT_EQ(value, 7.0);
    }
  }
}

TEST(NumberScan, PatternsStopAtTheFirstMismatch) {
  struct Case {
    const wchar_t* text;
    int count;
  } cases[] = {
      {L"12/31/2004 20:15:00", 6},
      {L"12/31/2004  20:15:00 GMT", 6},
      {L"12/31/200420:15:00", 3},
      {L"12/31/2004", 3},
      {L"12 /31/2004 20:15:00", 1},
      {L"", 0},
      {L"/1/2", 0},
      {L"1/2/3 4:5", 5},
  };
  for (const Case& c : cases) {
    int32_t values[6] = {};
    int expected[6] = {};
    int reference = std::swscanf(c.text, L"%d/%d/%d %d:%d:%d", &expected[0], &expected[1],
                                 &expected[2], &expected[3], &expected[4], &expected[5]);
    int count = ScanInts(c.text, L"%d/%d/%d %d:%d:%d", values);
    EXPECT_EQ(count, c.count) << platform::ToUtf8(c.text);
    EXPECT_EQ(std::max(reference, 0), c.count) << platform::ToUtf8(c.text);
    for (int i = 0; i < count; ++i) EXPECT_EQ(values[i], expected[i]);
  }
}

TEST(NumberScan, TruncationIsDefinedEverywhere) {
  EXPECT_EQ(TruncateToInt32(-3.7), -3);
  EXPECT_EQ(TruncateToInt32(2147483647.9), 2147483647);
  EXPECT_EQ(TruncateToInt32(-2147483648.9), -2147483647 - 1);
  EXPECT_EQ(TruncateToInt32(1e20), 2147483647);
  EXPECT_EQ(TruncateToInt32(-1e20), -2147483647 - 1);
  EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
}

}  // namespace
}  // namespace cirrodex
