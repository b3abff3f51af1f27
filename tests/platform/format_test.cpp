#include "platform/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using platform::StrFormat;

namespace {

struct WideCase {
  std::wstring expected;
  std::wstring actual;
};

// The formats the system itself uses, with the results the Windows C runtime gives for them.
TEST(FormatTest, WideFormatsOfTheSystem) {
  const std::wstring name = L"D:\\Games";
  const WideCase cases[] = {
      {L"[INFO]", StrFormat(L"[%4s]", L"INFO")},
      {L"[  ab]", StrFormat(L"[%4s]", L"ab")},
      {L"CreateDir：D:\\Games ret：5", StrFormat(L"CreateDir：%s ret：%d", name, 5)},
      {L"[tick:4294967295]", StrFormat(L"[tick:%u]", 0xFFFFFFFFu)},
      {L"[pid:-1]", StrFormat(L"[pid:%d]", -1)},
      {L"18446744073709551615", StrFormat(L"%I64u", UINT64_MAX)},
      {L"-9223372036854775807", StrFormat(L"%lld", -INT64_MAX)},
      {L"9223372036854775807", StrFormat(L"%I64d", INT64_MAX)},
      {L"0a|ff|0F", StrFormat(L"%02x|%x|%02X", 10, 255, 15)},
      {L"1.50 MB", StrFormat(L"%.2f MB", 1.5)},
      {L"100%", StrFormat(L"%d%%", 100)},
      {L"a|b", StrFormat(L"%s|%S", L"a", "b")},
      {L"中文", StrFormat(L"%s", "中文")},
      {L"|   x|x   |", StrFormat(L"|%4s|%-4s|", L"x", L"x")},
      {L"ab", StrFormat(L"%.2s", L"abcd")},
      {L"(null)", StrFormat(L"%s", static_cast<const wchar_t*>(nullptr))},
      {L"x=0 y=", StrFormat(L"x=%d y=%s")},  // missing arguments
      {L"00042", StrFormat(L"%05d", 42)},
      {L"  42", StrFormat(L"%*d", 4, 42)},
      {L"A", StrFormat(L"%c", L'A')},
      {L"4294967295", StrFormat(L"%u", -1)},
      {L"-1", StrFormat(L"%ld", 0xFFFFFFFFu)},  // %ld is 32 bits
      {L"%q", StrFormat(L"%q")},
  };
  for (const WideCase& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(FormatTest, NarrowFormats) {
  EXPECT_EQ("GameId:1008", StrFormat("GameId:%d", 1008));
  EXPECT_EQ("1.0.2|mini_downloader|GameId:5", StrFormat("%s|GameId:%d", "1.0.2|mini_downloader", 5));
  EXPECT_EQ("wide 中", StrFormat("%s %s", "wide", L"中"));
  EXPECT_EQ("d41d8cd9", StrFormat("%02x%02x%02x%02x", 0xd4, 0x1d, 0x8c, 0xd9));
  EXPECT_EQ("", StrFormat(""));
}

TEST(FormatTest, LongResultIsWhole) {
  const std::wstring big(5000, L'x');
  EXPECT_EQ(big + L"!", StrFormat(L"%s!", big));
}

}  // namespace
