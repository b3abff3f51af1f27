#include <gtest/gtest.h>

#include <chrono>

#include "tests/installer/InstallerProcess.h"
#include "tests/support/TempDir.h"

namespace {

using vkqx_test::InstallerProcess;

constexpr const char* kNotice = "您已经运行了一个Tessary安装程序。";

class SingleInstanceTest : public ::testing::Test {
 protected:
  vkqx_test::TempDir m_runtime;
};

// Started while another copy runs: it ends by itself with 0 while the first still runs.
void ExpectSecondCopyEnds(const std::vector<std::string>& args, const std::string& runtime,
                          std::string* output) {
  InstallerProcess second(args, runtime);
  ASSERT_TRUE(second.Started());
  const auto started = std::chrono::steady_clock::now();
  int status = -1;
  ASSERT_TRUE(second.WaitExit(10000, &status)) << "the second copy did not end";
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  ::testing::Test::RecordProperty("second_copy_ms", static_cast<int>(ms.count()));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  *output = second.Output();
}

TEST_F(SingleInstanceTest, ASecondCopyWritesTheNoticeAndExitsWithZero) {
  InstallerProcess first({}, m_runtime.path());
  ASSERT_TRUE(first.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs)) << first.Output();

  std::string output;
  ExpectSecondCopyEnds({}, m_runtime.path(), &output);
  EXPECT_NE(output.find(std::string("]") + kNotice), std::string::npos) << output;
  EXPECT_EQ(output.rfind("[INFO][", 0), 0u) << output;
  EXPECT_EQ(output.find("消息循环开始"), std::string::npos) << output;

  for (const char* hide : {"-h", "--hide"}) {
    ExpectSecondCopyEnds({hide}, m_runtime.path(), &output);
    EXPECT_EQ(output, "") << hide;
  }
  int status;
  EXPECT_FALSE(first.WaitExit(0, &status)) << "the first copy is not told anything";
}

TEST_F(SingleInstanceTest, TheNameIsFreeAgainWhenTheHolderDiesHowever) {
  {
    InstallerProcess killed({}, m_runtime.path());
    ASSERT_TRUE(killed.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs));
    killed.Signal(SIGKILL);
    int status;
    ASSERT_TRUE(killed.WaitExit(10000, &status));
  }
  InstallerProcess next({}, m_runtime.path());
  EXPECT_TRUE(next.WaitForLine(vkqx_test::kLoopRunning, vkqx_test::kStartTimeoutMs)) << next.Output();
}

}  // namespace
