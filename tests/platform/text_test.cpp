#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>

namespace cirrodex::platform {
namespace {

struct Utf8Case {
  const char* name;
  std::string bytes;
  std::wstring text;
};

class Utf8Decoding : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, DecodesOrReplaces) { EXPECT_EQ(FromUtf8(GetParam().bytes), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Sequences, Utf8Decoding,
                         ::testing::Values(Utf8Case{"Ascii", "swCity", L"swCity"},
                                           Utf8Case{"TwoBytes",
                                                    "\xC2\xBA"
                                                    "C",
                                                    L"\u00BAC"},
                                           Utf8Case{"ThreeBytes", "\xE2\x82\xAC", L"\u20AC"},
                                           Utf8Case{"FourBytes", "\xF0\x9F\x8C\xA7", L"\U0001F327"},
                                           Utf8Case{"OverlongSlash",
                                                    "a\xC0\xAF"
                                                    "b",
                                                    L"a\uFFFDb"},
                                           Utf8Case{"EncodedSurrogate", "\xED\xA0\x80", L"\uFFFD"},
                                           Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", L"\uFFFD"},
                                           Utf8Case{"TruncatedAtEnd", "x\xE2\x82", L"x\uFFFD"},
                                           Utf8Case{"BrokenThenAscii", "\xE2(a", L"\uFFFD(a"},
                                           Utf8Case{"StrayContinuation", "\x80z", L"\uFFFDz"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextConversion, Utf8RoundTripsEveryPlane) {
  std::wstring text = L"Z\u00FCrich \u00BAF \u20AC \U0001F327 \U0010FFFF";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(L"\u00BAC"),
            "\xC2\xBA"
            "C");
}

TEST(TextConversion, PercentEncodesTheUtf8OfAllButTheKeptAscii) {
  const auto letters = [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; };
  struct Case {
    std::wstring text;
    std::string encoded;
  } cases[] = {
      {L"paris-3", "paris-%33"},
      {L"a b/\r", "a%20b%2F%0D"},
      {L"Troms\u00f8", "%54roms%C3%B8"},
      {L"\u20AC\U0001F327", "%E2%82%AC%F0%9F%8C%A7"},
      {std::wstring(1, static_cast<wchar_t>(0xDC00)), "%EF%BF%BD"},
      {std::wstring(1, static_cast<wchar_t>(0x110000)), "%EF%BF%BD"},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentEncode(c.text, letters), c.encoded);
}

TEST(TextConversion, Utf16UsesSurrogatePairsAboveTheBasicPlane) {
  std::u16string units = ToUtf16(L"a\U0001F327b");
  ASSERT_EQ(units.size(), 4u);
  EXPECT_EQ(units[1], 0xD83C);
  EXPECT_EQ(units[2], 0xDF27);
  EXPECT_EQ(FromUtf16(units), L"a\U0001F327b");
}

TEST(TextConversion, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(FromUtf16(u"a\xD800"
                      u"b"),
            L"a\uFFFDb");
  EXPECT_EQ(FromUtf16(u"\xDC00"), L"\uFFFD");
  EXPECT_EQ(ToUtf16(std::wstring(1, static_cast<wchar_t>(0xD800))), u"\xFFFD");
  EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace cirrodex::platform
