// labels: threaded
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "commonlib/util/CommonUtils.h"
#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tests/platform/process_fixture.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using vkqx_test::ScopedEnv;

// C: is a temporary directory with a copy of the fixture under a name of this run's own, so that
// killing by name can reach no other test's processes.
class ProcessUtilsTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_dir.Sub("c"));
    m_drives = std::make_unique<ScopedEnv>("VKQX_DRIVES", "C:=" + m_dir.Sub("c"));
    platform::ReloadDrivesForTesting();
    m_exeName = "Launcher-" + std::to_string(::getpid()) + ".exe";
    vkqx_test::InstallFixture(m_dir.Sub("c/Games/Qarnath/bin/" + m_exeName));
    m_out = std::make_unique<ScopedEnv>("VKQX_FIXTURE_OUT", m_dir.Sub("record"));
  }
  void TearDown() override {
    KillProcessesByName(ExeName());
    m_drives.reset();
    platform::ReloadDrivesForTesting();
  }

  std::wstring ExeName() const { return platform::Utf8ToWide(m_exeName); }
  std::wstring ExePath() const { return L"C:\\Games\\Qarnath\\bin\\" + ExeName(); }

  // Starts the fixture sleeping, and returns its id once it runs.
  uint32_t StartSleeping() {
    ScopedEnv sleep("VKQX_FIXTURE_SLEEP_MS", "30000");
    platform::ProcessIds ids;
    EXPECT_EQ(RunProcess(ExePath(), L"x", &ids), 0u);
    EXPECT_TRUE(vkqx_test::AwaitFixtureRecord(m_dir.Sub("record")).has_value());
    return ids.processId;
  }

  vkqx_test::TempDir m_dir;
  std::string m_exeName;
  std::unique_ptr<ScopedEnv> m_drives;
  std::unique_ptr<ScopedEnv> m_out;
};

TEST_F(ProcessUtilsTest, RunProcessPassesTheSplitCommandLine) {
  const std::wstring commandLine = ExePath() + L" -i \"42\" -d";
  platform::ProcessIds ids;
  ASSERT_EQ(RunProcess(ExePath(), commandLine, &ids), 0u);
  const auto record = vkqx_test::AwaitFixtureRecord(m_dir.Sub("record"));
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->argv, (std::vector<std::string>{platform::WideToUtf8(ExePath()), "-i", "42", "-d"}));
  EXPECT_EQ(fs::path(record->cwd), fs::current_path());
  EXPECT_EQ(record->fds, "0,1,2");
  EXPECT_EQ(record->pid, ids.processId);
  EXPECT_EQ(ids.threadId, ids.processId);
  EXPECT_TRUE(vkqx_test::AwaitProcessGone(ids.processId)) << "not reaped";
}

TEST_F(ProcessUtilsTest, RunProcessReportsTheWindowsError) {
  EXPECT_EQ(RunProcess(L"C:\\Games\\Qarnath\\bin\\none.exe", L"none.exe"), platform::ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RunProcess(L"C:\\Games\\None\\x.exe", L"x.exe"), platform::ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(RunProcess(L"", L""), platform::ERROR_INVALID_PARAMETER);
  platform::ProcessIds ids{11, 12};
  EXPECT_NE(RunProcess(L"Q:\\x.exe", L"x", &ids), 0u);
  EXPECT_EQ(ids.processId, 11u) << "untouched on failure";
}

TEST_F(ProcessUtilsTest, FindProcessByPathMatchesWholeElementsWithoutCase) {
  const uint32_t pid = StartSleeping();
  ASSERT_NE(pid, 0u);
  EXPECT_EQ(FindProcessByPath(L"C:\\Games\\Qarnath"), pid);
  EXPECT_EQ(FindProcessByPath(L"c:\\GAMES\\qarnath\\"), pid);
  EXPECT_EQ(FindProcessByPath(L"C:/Games/Qarnath/bin"), 0u) << "drive paths use backslashes";
  EXPECT_EQ(FindProcessByPath(ExePath()), pid);
  EXPECT_EQ(FindProcessByPath(L"C:\\Games\\Qarn"), 0u) << "a namesake directory is not the install directory";
  EXPECT_EQ(FindProcessByPath(L"C:\\Games\\Other"), 0u);
  EXPECT_EQ(FindProcessByPath(ExePath() + L"x"), 0u);
  EXPECT_EQ(FindProcessByPath(L""), 0u) << "an empty prefix names no process";
}

TEST_F(ProcessUtilsTest, FindProcessByPathSkipsTheCallingProcess) {
  // This test program lies on Z: with the host root.
  ScopedEnv drives("VKQX_DRIVES", "Z:=/");
  platform::ReloadDrivesForTesting();
  const std::wstring self = platform::GetModuleFileName();
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(FindProcessByPath(self), 0u);
}

TEST_F(ProcessUtilsTest, KillProcessesByNameEndsExactNameMatchesOnly) {
  const uint32_t pid = StartSleeping();
  ASSERT_NE(pid, 0u);
  std::wstring otherCase = ExeName();
  otherCase[0] = L'l';
  EXPECT_EQ(KillProcessesByName(otherCase), 0) << "letter case counts";
  EXPECT_EQ(KillProcessesByName(L"Launcher-" + std::to_wstring(::getpid())), 0) << "the whole file name";
  EXPECT_EQ(KillProcessesByName(L""), 0);
  EXPECT_EQ(FindProcessByPath(ExePath()), pid) << "still running";

  EXPECT_EQ(KillProcessesByName(ExeName()), 1);
  EXPECT_TRUE(vkqx_test::AwaitProcessGone(pid));
  EXPECT_EQ(FindProcessByPath(ExePath()), 0u);
  EXPECT_EQ(KillProcessesByName(ExeName()), 0);
}

TEST_F(ProcessUtilsTest, KillProcessesByNameCountsEveryCopy) {
  const uint32_t first = StartSleeping();
  fs::remove(m_dir.Sub("record"));
  const uint32_t second = StartSleeping();
  ASSERT_NE(first, second);
  EXPECT_EQ(KillProcessesByName(ExeName()), 2);
  EXPECT_TRUE(vkqx_test::AwaitProcessGone(first));
  EXPECT_TRUE(vkqx_test::AwaitProcessGone(second));
}

}  // namespace
