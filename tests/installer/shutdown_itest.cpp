#include <gtest/gtest.h>

#include <regex>

#include "tests/installer/InstallerProcess.h"
#include "tests/support/TempDir.h"

namespace {

using vkqx_test::InstallerProcess;

class ShutdownTest : public ::testing::TestWithParam<int> {
 protected:
  vkqx_test::TempDir m_runtime;
};

TEST_P(ShutdownTest, ATerminationRequestEndsThroughTheShutdownOrderWithZero) {
  InstallerProcess installer({}, m_runtime.path());
  ASSERT_TRUE(installer.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs)) << installer.Output();
  // The start-up lookup (which asks a loopback port where nothing answers) ends first, so that no
  // diagnostic is still running at exit.
  ASSERT_TRUE(installer.WaitForLine("dns_result_callback", vkqx_test::kStartTimeoutMs)) << installer.Output();
  installer.Signal(GetParam());
  int status = -1;
  ASSERT_TRUE(installer.WaitExit(20000, &status)) << installer.Output();
  ASSERT_TRUE(WIFEXITED(status)) << installer.Output();
  EXPECT_EQ(WEXITSTATUS(status), 0);

  const std::vector<std::string> order{
      "main() 收到终止信号 " + std::to_string(GetParam()),
      "CMainDlg 主窗口收到关闭请求",
      "main() 消息循环结束 code:0",
      "main() 关闭: 释放皮肤资源",
      "main() 关闭: CMainApp::UnInit",
      "CMainApp::UnInit() 停止HTTP定时器",
      "CMainApp::UnInit() 主线程任务分发已关闭",
      "main() 关闭: OleUninitialize",
      "main() 关闭: 释放单实例互斥量",
      "main() 关闭: 销毁主窗口对象",
      "main() 关闭: 销毁命令行选项",
      "main() 退出 code:0",
  };
  const std::vector<std::string> lines = installer.Lines();
  size_t at = 0;
  for (const std::string& step : order) {
    while (at < lines.size() && lines[at].find(step) == std::string::npos) ++at;
    ASSERT_LT(at, lines.size()) << "missing or out of order: " << step << "\n" << installer.Output();
  }

  const std::regex layout(R"(^\[(?:INFO|WARN|ERRO)\]\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]\[tick:\d+\]\[pid:(\d+)\]\[tid:(\d+)\].+$)");
  for (const std::string& line : lines) {
    // A sanitizer build's leak checker reports its suppressions after the program's last line.
    if (line.rfind("-----------------------------------------------------", 0) == 0) break;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, layout)) << line;
    EXPECT_EQ(m[1].str(), std::to_string(installer.Pid()));
    EXPECT_EQ(m[2].str(), m[1].str()) << "everything here runs on the main thread";
  }
}

INSTANTIATE_TEST_SUITE_P(Signals, ShutdownTest, ::testing::Values(SIGTERM, SIGINT));

}  // namespace
