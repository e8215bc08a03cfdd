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
