// The header-line parser on good and hostile lines: any bytes give one of its three answers.
#include <gtest/gtest.h>

#include <string>

#include "commonlib/http/HttpHeaderLine.h"

namespace {

TEST(HttpHeaderLineTest, LinesByKind) {
  struct Case {
    std::string line;
    HeaderLineKind kind;
    std::wstring name, value;
  } cases[] = {
      {"\r\n", HeaderLineKind::kEndOfBlock, L"", L""},
      {"\n", HeaderLineKind::kEndOfBlock, L"", L""},
      {"Content-Length: 12\r\n", HeaderLineKind::kField, L"Content-Length", L"12"},
      {"  Spaced Name \t:   value with  spaces \t\r\n", HeaderLineKind::kField, L"Spaced Name", L"value with  spaces"},
      {"Date: Mon, 01 Jan 2018 10:00:00 GMT\r\n", HeaderLineKind::kField, L"Date", L"Mon, 01 Jan 2018 10:00:00 GMT"},
      {"Empty:\r\n", HeaderLineKind::kField, L"Empty", L""},
      {"X: 中文\r\n", HeaderLineKind::kField, L"X", L"中文"},
      {"HTTP/1.1 200 OK\r\n", HeaderLineKind::kIgnored, L"", L""},
      {"no colon at all\r\n", HeaderLineKind::kIgnored, L"", L""},
      {": starts with a colon\r\n", HeaderLineKind::kIgnored, L"", L""},
      {"\r\n\r\n", HeaderLineKind::kIgnored, L"", L""},
      {" \r\n", HeaderLineKind::kIgnored, L"", L""},
      {"", HeaderLineKind::kIgnored, L"", L""},
  };
  for (const Case& c : cases) {
    const HeaderLine parsed = ParseHeaderLine(c.line.data(), c.line.size());
    EXPECT_EQ(c.kind, parsed.kind) << c.line;
    EXPECT_EQ(c.name, parsed.name) << c.line;
    EXPECT_EQ(c.value, parsed.value) << c.line;
  }
}

TEST(HttpHeaderLineTest, StrayBytesAreReplacedNotTrusted) {
  const std::string line("\xff\xfeName\x80: va\xc3lue\0tail\r\n", 22);
  const HeaderLine parsed = ParseHeaderLine(line.data(), line.size());
  ASSERT_EQ(HeaderLineKind::kField, parsed.kind);
  EXPECT_NE(std::wstring::npos, parsed.name.find(L"Name"));
  EXPECT_NE(std::wstring::npos, parsed.value.find(L"tail"));
}

TEST(HttpHeaderLineTest, VeryLongLineIsOneField) {
  const std::string value(1 << 20, 'v');
  const std::string line = "Long: " + value + "\r\n";
  const HeaderLine parsed = ParseHeaderLine(line.data(), line.size());
  ASSERT_EQ(HeaderLineKind::kField, parsed.kind);
  EXPECT_EQ(value.size(), parsed.value.size());
  EXPECT_EQ(HeaderLineKind::kIgnored, ParseHeaderLine(nullptr, 10).kind);
}

}  // namespace
