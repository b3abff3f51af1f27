#include "installer/Install/EarlierInstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/installer/InstallTestDrives.h"
#include "tests/installer/InstallTestPrograms.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace install;
using namespace vkqx_test;

class EarlierInstallTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& p : m_processes) p->Terminate(0);
  }

  // A launcher copy running from the drive path `dir` + "\" + `name` (host path under `hostDir`).
  platform::Process* Run(const std::string& hostDir, const std::wstring& dir, const std::string& name) {
    auto process = StartStayingLauncher(hostDir + "/" + name, dir + L"\\" + platform::Utf8ToWide(name));
    if (!process) return nullptr;
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
  }

  static bool Alive(platform::Process* p) { return p->Wait(0) == platform::WAIT_TIMEOUT; }

  TempDir tmp;
  std::string c = tmp.Sub("c"), d = tmp.Sub("d");
  ScopedDriveTable table{"C:=" + c + ";D:=" + d};
  std::vector<std::unique_ptr<platform::Process>> m_processes;
};

TEST_F(EarlierInstallTest, EndsItsProcessesAndRemovesItsFoldersAndFiles) {
  const std::string host = d + "/Games/Velkor";
  const std::wstring dir = L"D:\\Games\\Velkor";
  platform::Process* launcher = Run(host, dir, "VelkorLauncher.exe");
  platform::Process* helper = Run(host + "/bin", dir + L"\\bin", "helper.exe");
  platform::Process* namesake = Run(d + "/Games/Velkor2", L"D:\\Games\\Velkor2", "VelkorLauncher.exe");
  ASSERT_TRUE(launcher && helper && namesake);
  WriteFileText(host + "/bin/game.dll", "x");
  WriteFileText(host + "/patch/sub/p1.txt", "x");
  for (const wchar_t* name : kEarlierInstallFiles) WriteFileText(host + "/" + platform::WideToUtf8(name), "x");
  WriteFileText(host + "/save/slot1.dat", "keep");
  WriteFileText(host + "/notes.txt", "keep");

  // Written with a trailing backslash, as a user may type it.
  EXPECT_TRUE(CleanEarlierInstall(dir + L"\\"));

  EXPECT_EQ(launcher->Wait(10000), platform::WAIT_OBJECT_0);
  EXPECT_EQ(helper->Wait(10000), platform::WAIT_OBJECT_0);
  EXPECT_TRUE(Alive(namesake)) << "a directory that merely begins with the same name is not ours";
  EXPECT_FALSE(fs::exists(host + "/bin"));
  EXPECT_FALSE(fs::exists(host + "/patch"));
  for (const wchar_t* name : kEarlierInstallFiles) EXPECT_FALSE(fs::exists(host + "/" + platform::WideToUtf8(name)));
  EXPECT_TRUE(fs::exists(host + "/save/slot1.dat"));
  EXPECT_TRUE(fs::exists(host + "/notes.txt"));
}

// An empty directory would make the clean-up's "\bin\" the drive's own, and a drive root would
// end every process running from the drive: none of these reaches the clean-up.
TEST_F(EarlierInstallTest, RefusesDirectoriesThatReachADriveRoot) {
  platform::Process* onC = Run(c + "/bin", L"C:\\bin", "VelkorLauncher.exe");
  platform::Process* onD = Run(d + "/bin", L"D:\\bin", "VelkorLauncher.exe");
  ASSERT_TRUE(onC && onD);
  for (const std::string& root : {c, d}) {
    WriteFileText(root + "/patch/readme.txt", "x");
    WriteFileText(root + "/tg.id", "x");
  }
  const wchar_t* refused[] = {L"",      L"D:",       L"D:\\",          L"D:/",  L"D:\\\\", L"D:\\.",
                              L"D:\\ .", L"D:\\Games\\..", L"D:\\Games\\.\\", L"\\",   L"\\Games", L"bin"};
  for (const wchar_t* dir : refused) {
    SCOPED_TRACE(testing::Message() << "dir \"" << platform::WideToUtf8(dir) << "\"");
    EXPECT_FALSE(IsCleanableInstallDir(dir));
    EXPECT_FALSE(CleanEarlierInstall(dir));
    EXPECT_TRUE(Alive(onC));
    EXPECT_TRUE(Alive(onD));
    for (const std::string& root : {c, d}) {
      EXPECT_TRUE(fs::exists(root + "/bin/VelkorLauncher.exe"));
      EXPECT_TRUE(fs::exists(root + "/patch/readme.txt"));
      EXPECT_TRUE(fs::exists(root + "/tg.id"));
    }
  }
  for (const wchar_t* dir : {L"D:\\Games", L"D:\\Velkor网络\\VelkorTessary", L"C:/a/b/"})
    EXPECT_TRUE(IsCleanableInstallDir(dir)) << platform::WideToUtf8(dir);
}

// A process that is still found after being ended (or cannot be opened) must not keep the sweep
// going for ever. No real process survives termination here, so the operations are simulated.
TEST(EarlierInstallSweepTest, GivesUpOnAProcessThatDoesNotEnd) {
  struct Case {
    const char* name;
    std::function<uint32_t(int call)> find;
    bool endSucceeds;
    bool result;
    int endCalls;
  };
  const Case cases[] = {
      {"one process, ended", [](int call) { return call == 0 ? 7u : 0u; }, true, true, 1},
      {"survives every termination", [](int) { return 4242u; }, true, false, kMaxEndAttemptsPerProcess},
      {"cannot be opened", [](int) { return 4242u; }, false, false, 1},
      {"a new one on every pass", [](int call) { return static_cast<uint32_t>(call + 1); }, true, false,
       kMaxSweepPasses},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int findCalls = 0, endCalls = 0;
    ProcessSweepOps ops{[&](const std::wstring&) { return c.find(findCalls++); },
                        [&](uint32_t) { return ++endCalls, c.endSucceeds; }};
    EXPECT_EQ(EndProcessesUnder(L"D:\\Games", ops), c.result);
    EXPECT_EQ(endCalls, c.endCalls);
  }
}

TEST_F(EarlierInstallTest, RemovesTheFilesEvenWhenAProcessSurvives) {
  WriteFileText(d + "/Games/bin/game.dll", "x");
  WriteFileText(d + "/Games/Launcher.ini", "x");
  ProcessSweepOps survivor{[](const std::wstring&) { return 4242u; }, [](uint32_t) { return true; }};
  EXPECT_TRUE(CleanEarlierInstall(L"D:\\Games", survivor));
  EXPECT_FALSE(fs::exists(d + "/Games/bin"));
  EXPECT_FALSE(fs::exists(d + "/Games/Launcher.ini"));
}

}  // namespace
