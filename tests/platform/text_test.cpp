#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace platform {
namespace {

TEST(TextTest, Utf8RoundTripIncludingSupplementaryCharacters) {
  const std::wstring text = L"abc 中文 \U0001F600 \u00e9";
  EXPECT_EQ(text, Utf8ToWide(WideToUtf8(text)));
  EXPECT_EQ("\xF0\x9F\x98\x80", WideToUtf8(L"\U0001F600"));
  EXPECT_EQ(L"", Utf8ToWide(""));
}

TEST(TextTest, InvalidUtf8BecomesReplacementCharacters) {
  EXPECT_EQ(L"a\uFFFDb", Utf8ToWide("a\xFF" "b"));
  EXPECT_EQ(L"\uFFFD\uFFFD", Utf8ToWide("\xE4\xB8"));  // each byte of a broken sequence
  EXPECT_EQ(L"\uFFFD\uFFFD", Utf8ToWide("\xC0\x80"));  // overlong
}

TEST(TextTest, AnsiReplacesCharactersWithoutAForm) {
  std::wstring lone(1, static_cast<wchar_t>(0xD800));
  EXPECT_EQ("a b", WideToAnsi(L"a" + lone + L"b"));
  EXPECT_EQ("中", WideToAnsi(L"中"));
}

TEST(TextTest, Utf16BoundaryUsesSurrogatePairs) {
  EXPECT_EQ(u"\xD83D\xDE00", WideToUtf16(L"\U0001F600"));
  EXPECT_EQ(L"\U0001F600", Utf16ToWide(u"\xD83D\xDE00"));
  std::string bytes;
  AppendUtf16LE(L"a\U0001F600", bytes);
  EXPECT_EQ(std::string("a\0\x3D\xD8\x00\xDE", 6), bytes);
  EXPECT_EQ(L"a\U0001F600", Utf16LEToWide(bytes.data(), bytes.size()));
  EXPECT_EQ(L"a", Utf16LEToWide("a\0b", 3));  // odd trailing byte ignored
}

TEST(TextTest, MapOrderIsUtf16CodeUnitOrder) {
  // U+10000 is D800 DC00 in UTF-16, so it sorts before U+E000 there but after it in UTF-32.
  std::vector<std::wstring> keys = {L"\uE000", L"\U00010000", L"a", L""};
  std::sort(keys.begin(), keys.end(), Utf16Less());
  EXPECT_EQ((std::vector<std::wstring>{L"", L"a", L"\U00010000", L"\uE000"}), keys);
  EXPECT_LT(CompareUtf16(L"\U00010000", L"\U00010001"), 0);
  EXPECT_EQ(0, CompareUtf16(L"x", L"x"));
}

TEST(TextTest, DecimalParsingFollowsTheCRuntime) {
  struct Case {
    const wchar_t* text;
    int32_t expected;
  } cases[] = {{L"1008", 1008}, {L"  -12abc", -12}, {L"+7", 7}, {L"abc", 0}, {L"", 0},
               {L"99999999999", INT32_MAX}, {L"-99999999999", INT32_MIN}};
  for (const Case& c : cases) EXPECT_EQ(c.expected, WideToInt32(c.text)) << c.text;
  EXPECT_EQ(8589934592LL, WideToInt64(L"8589934592"));
  EXPECT_EQ(L"-5", IntToWide(-5));
  EXPECT_EQ(L"4294967295", UIntToWide(0xFFFFFFFFu));
}

TEST(TextTest, TrimBothEnds) {
  EXPECT_EQ(L"a b", Trim(std::wstring_view(L" \t a b \r\n")));
  EXPECT_EQ("x", Trim(std::string_view("  x  ")));
  EXPECT_EQ(L"", Trim(std::wstring_view(L"   ")));
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST(TextTest, LoneSurrogatesSortAsTheirUtf16Form) {
  // [D800 E000] is above [D800 DC00] (U+10000) in UTF-16 order.
  std::wstring lone = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xE000)};
  EXPECT_GT(CompareUtf16(lone, L"\U00010000"), 0);
  std::wstring low = {static_cast<wchar_t>(0xD800), L'a'};
  EXPECT_LT(CompareUtf16(low, L"\U00010000"), 0);
}

}  // namespace
}  // namespace platform
