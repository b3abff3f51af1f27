#include "tools/vkdl/VkdlOptions.h"

#include <gtest/gtest.h>

#include "tools/vkdl/OutcomeText.h"
#include "tools/vkdl/ProgressLine.h"

namespace {

const std::vector<std::string> kValid = {"--url", "http://127.0.0.1:8080/f.bin", "--size", "1024", "--md5",
                                         "0123456789ABCDEF0123456789abcdef", "--out", "/tmp/x/f.bin"};

TEST(VkdlOptionsTest, ReadsEveryOptionInBothForms) {
  VkdlOptions o;
  std::string error;
  std::vector<std::string> args = kValid;
  for (const char* extra : {"--ips=127.0.0.2;127.0.0.3", "--cdn-host", "cdn.example", "--cdn-min-speed=-5"})
    args.push_back(extra);
  ASSERT_TRUE(ParseVkdlArguments(args, o, error)) << error;
  EXPECT_EQ(o.url, L"http://127.0.0.1:8080/f.bin");
  EXPECT_EQ(o.size, 1024);
  EXPECT_EQ(o.md5, L"0123456789abcdef0123456789abcdef");  // compared in lower case
  EXPECT_EQ(o.ips, L"127.0.0.2;127.0.0.3");
  EXPECT_EQ(o.cdnHost, L"cdn.example");
  EXPECT_EQ(o.cdnMinSpeed, -5);
  EXPECT_EQ(o.out, "/tmp/x/f.bin");
}

TEST(VkdlOptionsTest, RefusesBadCommandLinesWithAReason) {
  struct Case {
    std::vector<std::string> change;  // replaces or adds to the valid line: name, value
    const char* reason;
  };
  const Case cases[] = {
      {{"--url", "ftp://x/f"}, "--url needs an http"},
      {{"--size", "-1"}, "--size needs"},
      {{"--size", "12k"}, "--size needs"},
      {{"--md5", "abc"}, "--md5 needs 32"},
      {{"--md5", "0123456789abcdef0123456789abcdeg"}, "--md5 needs 32"},
      {{"--cdn-min-speed", "fast"}, "--cdn-min-speed needs"},
      {{"--bogus", "1"}, "unknown argument '--bogus'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    std::vector<std::string> args = kValid;
    bool replaced = false;
    for (size_t i = 0; i + 1 < args.size(); i += 2)
      if (args[i] == c.change[0]) args[i + 1] = c.change[1], replaced = true;
    if (!replaced) args.insert(args.end(), c.change.begin(), c.change.end());
    VkdlOptions o;
    std::string error;
    EXPECT_FALSE(ParseVkdlArguments(args, o, error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  for (const char* missing : {"--url", "--size", "--md5", "--out"}) {
    std::vector<std::string> args;
    for (size_t i = 0; i + 1 < kValid.size(); i += 2)
      if (kValid[i] != missing) args.insert(args.end(), {kValid[i], kValid[i + 1]});
    VkdlOptions o;
    std::string error;
    EXPECT_FALSE(ParseVkdlArguments(args, o, error));
    EXPECT_EQ(error, std::string("missing ") + missing);
  }
  VkdlOptions o;
  std::string error;
  EXPECT_FALSE(ParseVkdlArguments({"--url"}, o, error));
  EXPECT_EQ(error, "--url needs a value");
  std::vector<std::string> twice = kValid;
  twice.insert(twice.end(), {"--size", "5"});
  EXPECT_FALSE(ParseVkdlArguments(twice, o, error));
  EXPECT_EQ(error, "--size is given twice");
}

TEST(VkdlOptionsTest, ProgressTextShowsSizesPercentAndSpeed) {
  const ProgressSample half{64 << 20, 32 << 20, 5 << 20};
  EXPECT_EQ(ProgressPercent(half), 50);
  EXPECT_EQ(ProgressPercent({0, 0, 0}), 100);
  const std::string line = FormatProgressLine(half);
  EXPECT_NE(line.find(" / "), std::string::npos);
  EXPECT_NE(line.find("50%"), std::string::npos);
  EXPECT_NE(line.find("/s"), std::string::npos);
  EXPECT_EQ(FormatProgressBar(half, 10).rfind("[#####-----] ", 0), 0u);
}

}  // namespace

namespace {

TEST(VkdlOutcomeTextTest, SaysWhyInWordsAndNumbers) {
  struct Case {
    int et;
    int ec;
    DownloadEndDetail detail;
    const char* text;
  };
  const Case cases[] = {
      {3, 6, {112, 0, 0}, "the data file /d/f.bin.vkdt could not be made at its full size: disk full (system error 112)"},
      {3, 6, {5, 0, 0}, "could not be made at its full size: access denied (system error 5)"},
      {3, 6, {3, 0, 0}, "could not be made at its full size: path not found (system error 3)"},
      {3, 809, {0, 4, 404}, "no source for more than 10 s: every source failed, the last with HTTP status 404"},
      {3, 809, {0, 4, 2008}, "the last with the server ignores ranges (HTTP status 200 to a range request)"},
      {3, 809, {0, 5, 7}, "the last with transport error 7 (Couldn't connect to server)"},
      {3, 809, {0, 3, 3002}, "the last with no data, or far too little, for 16 s (engine code 3002)"},
      {5, 0, {5, 0, 0}, "could not be moved onto /d/f.bin: access denied (system error 5); it stays in /d/f.bin.vkdt"},
      {2, 0, {2, 0, 0}, "the data file /d/f.bin.vkdt vanished or changed size during the download (system error 2)"},
  };
  for (const Case& c : cases) {
    const std::string text = OutcomeText(c.et, c.ec, c.detail, "/d/f.bin");
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
  }
}

}  // namespace
