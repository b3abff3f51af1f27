#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commonlib/util/CommonUtils.h"

namespace {

struct UrlCase {
  const wchar_t* url;
  bool https;
  const wchar_t* host;
  int port;
};

class UrlTable : public testing::TestWithParam<UrlCase> {};

TEST_P(UrlTable, Splits) {
  const UrlCase& c = GetParam();
  EXPECT_EQ(IsHttps(c.url), c.https);
  EXPECT_EQ(GetHostFromUrl(c.url), c.host);
  EXPECT_EQ(GetPortFromUrl(c.url), c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, UrlTable,
    testing::Values(UrlCase{L"http://h:8080/x", false, L"h", 8080},
                    UrlCase{L"https://dl.example.com/pkg.exe", true, L"dl.example.com", 443},
                    UrlCase{L"http://dl.example.com/a?b=c:def", false, L"dl.example.com", 80},
                    UrlCase{L"https://127.0.0.1:8443", true, L"127.0.0.1", 8443},
                    UrlCase{L"http://a-b.c:0/", false, L"a-b.c", 80},
                    UrlCase{L"https://h:/x", true, L"h", 443},
                    UrlCase{L"http://h:65535", false, L"h", 65535},
                    UrlCase{L"http://h:65536", false, L"h", 80},
                    UrlCase{L"http://h:99999999999999999999", false, L"h", 80},
                    UrlCase{L"http://h:08080", false, L"h", 8080},
                    // User information: the host is the user name, the first ":" its password's.
                    UrlCase{L"http://user:pw@h:81/", false, L"user", 80},
                    UrlCase{L"http://user@h:81/", false, L"user", 81},
                    UrlCase{L"http://my_host.com/", false, L"my", 80},
                    UrlCase{L"http://[::1]:8080/", false, L"", 80},
                    UrlCase{L"h.example.com:8000/x", false, L"h.example.com", 8000},
                    UrlCase{L"ftp://h/x", false, L"h", 80},
                    UrlCase{L"HTTPS://h/", false, L"h", 80},
                    UrlCase{L"https", false, L"https", 80},
                    UrlCase{L"https:", true, L"https", 443},
                    UrlCase{L"httpsx", true, L"httpsx", 443},
                    UrlCase{L"http://", false, L"", 80},
                    UrlCase{L"://h", false, L"h", 80},
                    UrlCase{L"", false, L"", 80},
                    UrlCase{L"http://游戏.com/", false, L"", 80}));

TEST(SortHttpsFirst, KeepsOrderWithinEachGroup) {
  std::vector<std::wstring> urls = {L"http://a", L"https://b", L"http://c", L"https://d", L"https"};
  SortHttpsFirst(urls);
  EXPECT_EQ(urls, (std::vector<std::wstring>{L"https://b", L"https://d", L"http://a", L"http://c", L"https"}));

  std::vector<std::wstring> plain = {L"http://z", L"http://a", L"ftp://m"};
  const auto before = plain;
  SortHttpsFirst(plain);
  EXPECT_EQ(plain, before);

  std::vector<std::wstring> empty;
  SortHttpsFirst(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(IsIpAddress, DigitsAndDotsOnly) {
  for (const wchar_t* yes : {L"127.0.0.1", L"1..2", L"8", L"."}) EXPECT_TRUE(IsIpAddress(yes)) << yes;
  for (const wchar_t* no : {L"", L"::1", L"1.2.3.4:80", L"a.b", L" 1.2", L"١٢"}) EXPECT_FALSE(IsIpAddress(no)) << no;
}

}  // namespace
