#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "commonlib/logger/Log.h"
#include "platform/debug_channel.h"
#include "platform/text.h"

namespace {

// Captures what reaches the debugger channel while alive.
class TraceCapture {
 public:
  TraceCapture() {
    platform::SetDebugCaptureForTesting([this](std::wstring_view line) { lines.emplace_back(line); });
  }
  ~TraceCapture() { platform::SetDebugCaptureForTesting({}); }
  std::vector<std::wstring> lines;
};

// A logger of its own so that configurations can change without touching the singletons.
class TestTrace : public TraceLogger {};

std::unique_ptr<LogConfig> Config(uint32_t flags, bool newline) {
  auto c = std::make_unique<LogConfig>();
  c->flags = flags;
  c->appendNewline = newline;
  return c;
}

TEST(LoggerTest, LineLayoutForEachFlagCombination) {
  struct Case {
    uint32_t flags;
    int level;
    const char* pattern;
  } cases[] = {
      {0, LOG_INFO, R"(\[INFO\]hello 5)"},
      {0, LOG_WARN, R"(\[WARN\]hello 5)"},
      {0, LOG_ERROR, R"(\[ERRO\]hello 5)"},
      {0, 7, R"(hello 5)"},
      {LOG_FLAG_TIME, LOG_INFO, R"(\[INFO\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[tick:\d+\]hello 5)"},
      {LOG_FLAG_TIME, 7, R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[tick:\d+\]hello 5)"},
      {LOG_FLAG_PID, LOG_INFO, R"(\[INFO\]\[pid:\d+\]hello 5)"},
      {LOG_FLAG_TID, LOG_INFO, R"(\[INFO\]\[tid:\d+\]hello 5)"},
      {0xFFFFFFFF, LOG_ERROR,
       R"(\[ERRO\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[tick:\d+\]\[pid:\d+\]\[tid:\d+\]hello 5)"},
      {0x1 | 0x10, LOG_INFO, R"(\[INFO\]hello 5)"},  // meaningless bits
  };
  for (const Case& c : cases) {
    TestTrace logger;
    logger.SetConfig(Config(c.flags, false));
    TraceCapture capture;
    logger.Log(c.level, L"hello %d", 5);
    ASSERT_EQ(1u, capture.lines.size());
    EXPECT_TRUE(std::regex_match(platform::WideToUtf8(capture.lines[0]), std::regex(c.pattern)))
        << platform::WideToUtf8(capture.lines[0]) << " !~ " << c.pattern;
  }
}

TEST(LoggerTest, DefaultLineEndsWithCrLfAndPercentInInfoIsAFormat) {
  TestTrace logger;
  TraceCapture capture;
  logger.Info(L"100%% done");
  ASSERT_EQ(1u, capture.lines.size());
  const std::wstring& line = capture.lines[0];
  EXPECT_EQ(L"100% done\r\n", line.substr(line.size() - 11));
  EXPECT_EQ(L"[INFO][", line.substr(0, 7));
}

TEST(LoggerTest, LongMessageIsWrittenWhole) {
  TestTrace logger;
  logger.SetConfig(Config(0, false));
  TraceCapture capture;
  const std::wstring message(5000, L'm');
  logger.Log(LOG_INFO, L"%s", message);
  ASSERT_EQ(1u, capture.lines.size());
  EXPECT_EQ(L"[INFO]" + message, capture.lines[0]);
}

TEST(LoggerTest, DisabledOrUnconfiguredLoggersWriteNothing) {
  TraceCapture capture;
  TestTrace off;
  off.SetEnabled(false);
  off.Log(LOG_INFO, L"x");
  TestTrace unconfigured;
  unconfigured.SetConfig(nullptr);
  unconfigured.Log(LOG_INFO, L"x");
  unconfigured.Write(L"direct");
  EXPECT_TRUE(capture.lines.empty());
}

TEST(LoggerTest, FileLoggerWritesUtf16LeWithSourcePosition) {
  FILE* stream = std::tmpfile();
  ASSERT_NE(nullptr, stream);
  FileLogger* file = FileLogger::GetInstance();
  file->SetConfig(Config(0, true));
  file->SetStream(stream);
  LOGE(L"CreateDir：%s ret：%d", L"D:\\Games", 5);
  const int line = __LINE__ - 1;
  file->SetStream(nullptr);
  file->SetConfig(std::make_unique<LogConfig>());

  std::string bytes;
  std::rewind(stream);
  for (int c; (c = std::fgetc(stream)) != EOF;) bytes += static_cast<char>(c);
  std::fclose(stream);
  const std::wstring expected =
      L"[ERRO][.\\tests\\commonlib\\logger\\logger_test.cpp:" + std::to_wstring(line) + L"]CreateDir：D:\\Games ret：5\r\n";
  EXPECT_EQ(expected, platform::Utf16LEToWide(bytes.data(), bytes.size()));
}

TEST(LoggerTest, StatementConventionReachesTheTraceChannelOnce) {
  TraceCapture capture;
  LOGI(L"CHttpMgr::Schedule() 调度任务 running:%d max:%d total:%d", 1, 10, 3);
  ASSERT_EQ(1u, capture.lines.size());
  EXPECT_NE(std::wstring::npos, capture.lines[0].find(L"]CHttpMgr::Schedule() 调度任务 running:1 max:10 total:3\r\n"));
}

TEST(LoggerTest, SourcePathIsRelativeToItsProject) {
  EXPECT_EQ(L".\\util\\FileUtils.cpp", LogSourcePath(VKQX_SOURCE_ROOT "commonlib/util/FileUtils.cpp"));
  EXPECT_EQ(L".\\Updater\\Updater.cpp", LogSourcePath(VKQX_SOURCE_ROOT "installer/Updater/Updater.cpp"));
}

}  // namespace
