// labels: threaded
#include "installer/Install/InstallThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commonlib/util/MD5.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tests/installer/InstallTestDrives.h"
#include "tests/installer/InstallTestPrograms.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace install;
using namespace vkqx_test;

// What the thread reported, in order, from its own thread.
class RecordingReport : public IInstallReport {
 public:
  void OnInstallPhase(InstallPhase phase) override { Add(platform::WideToUtf8(InstallPhaseText(phase))); }
  void OnBadPackage() override { Add("bad package"); }
  void OnInstallDone() override { Add("done"); }

  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
  }
  bool Has(const std::string& event) const {
    const auto events = Events();
    return std::find(events.begin(), events.end(), event) != events.end();
  }

 private:
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_events.push_back(event);
  }
  mutable std::mutex m_mutex;
  std::vector<std::string> m_events;
};

// The package check the window passes in (the updater's), by the same rule: the file's MD5 against
// the expected text without regard to letter case.
bool VerifyMd5(const std::wstring& path, const std::wstring& expected) {
  MD5 digest(platform::OpenCFile(path, "rb"));
  std::string want = platform::WideToUtf8(expected);
  std::transform(want.begin(), want.end(), want.begin(), [](unsigned char ch) { return std::tolower(ch); });
  return want == digest.hex_digest();
}

// One install into a drive table of its own: the package lies in D:\Downloads as downloaded.
class InstallThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { CopyProgram(PackageProgram(), d + "/Downloads/vkinstaller.exe"); }

  InstallJob Job() const {
    InstallJob job;
    job.packagePath = L"D:\\Downloads\\vkinstaller.exe";
    job.installDir = L"D:\\Velkor网络\\VelkorTessary";
    job.expectedMd5 = platform::Utf8ToWide(PackageMd5());
    job.packageId = L"16000054";
    job.gameId = 1008;
    job.verify = &VerifyMd5;
    return job;
  }

  void Start(InstallJob job) {
    m_thread = std::make_unique<CInstallThread>(std::move(job), progress, report);
    ASSERT_TRUE(m_thread->StartThread());
  }

  // Plays the window's install timer (faster than its 100 ms) until `event` is reported: the
  // counter advances while it is at most 900, as the window stops its timer beyond that.
  bool TickUntil(const std::string& event, int timeoutMs = 60000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!report->Has(event)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      if (progress->Counter() <= kInstallCounterEnd) progress->Tick();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  bool AwaitLaunching(int timeoutMs = 60000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!progress->IsLaunching()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  TempDir tmp;
  std::string d = tmp.Sub("d");
  std::string package = d + "/Downloads/vkinstaller.exe";
  std::string installed = d + "/Velkor网络/VelkorTessary";
  ScopedDriveTable table{"C:=" + tmp.Sub("c") + ";D:=" + d};
  std::shared_ptr<CInstallProgress> progress = std::make_shared<CInstallProgress>();
  std::shared_ptr<RecordingReport> report = std::make_shared<RecordingReport>();
  std::unique_ptr<CInstallThread> m_thread;
};

TEST_F(InstallThreadTest, InstallsWritesTheIdStartsTheLauncherAndRemovesThePackage) {
  InstallJob job = Job();
  // The descriptor's MD5 may come in capitals.
  std::transform(job.expectedMd5.begin(), job.expectedMd5.end(), job.expectedMd5.begin(), ::towupper);
  Start(job);
  ASSERT_TRUE(TickUntil("done")) << "events: " << report->Events().size();

  EXPECT_EQ(report->Events(), (std::vector<std::string>{"安装中", "done"}));
  EXPECT_TRUE(fs::exists(installed + "/bin/game.dll"));
  EXPECT_TRUE(fs::exists(installed + "/patch/readme.txt"));
  EXPECT_TRUE(fs::exists(installed + "/Launcher.ini"));
  EXPECT_EQ(ReadFileText(installed + "/tg.id"), "16000054");
  EXPECT_FALSE(fs::exists(package));
  // Started once, by the thread (the package was told not to), with the game id.
  ASSERT_TRUE(AwaitLauncherRecord(installed));
  EXPECT_EQ(LauncherRecord(installed), std::vector<std::string>{"-i 1008 -d"});
}

TEST_F(InstallThreadTest, PackageIdZeroWritesNoIdAndRunOffStartsNoLauncher) {
  InstallJob job = Job();
  job.packageId = L"0";
  job.run = false;
  job.expectedMd5.clear();  // a package found beside the program is not checked
  job.verify = nullptr;
  Start(job);
  ASSERT_TRUE(TickUntil("done"));
  m_thread.reset();  // joined: everything it did is done

  EXPECT_TRUE(fs::exists(installed + "/bin/game.dll"));
  EXPECT_FALSE(fs::exists(installed + "/tg.id"));
  EXPECT_FALSE(fs::exists(installed + "/launcher_args.txt"));
  EXPECT_FALSE(fs::exists(package));
}

// The launcher starts only once the window's counter has filled the bar.
TEST_F(InstallThreadTest, WaitsForTheCounterBeforeLaunching) {
  Start(Job());
  ASSERT_TRUE(AwaitLaunching());
  EXPECT_EQ(ReadFileText(installed + "/tg.id"), "16000054") << "the id is written before the wait";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(fs::exists(package));
  EXPECT_FALSE(fs::exists(installed + "/launcher_args.txt"));
  EXPECT_FALSE(report->Has("done"));

  ASSERT_TRUE(TickUntil("done"));
  EXPECT_GE(progress->Counter(), kInstallCounterEnd);
  EXPECT_TRUE(AwaitLauncherRecord(installed));
}

// A package that fails its check is removed (else the download engine would take the same file of
// the expected size for a finished download again) and nothing is installed.
TEST_F(InstallThreadTest, BadPackageIsRemovedAndReportedWithoutInstalling) {
  struct Case {
    const char* name;
    std::wstring md5;
    PackageVerifier verify;
  };
  const Case cases[] = {
      {"wrong digest", L"0123456789abcdef0123456789abcdef", &VerifyMd5},
      {"no way to check", platform::Utf8ToWide(PackageMd5()), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CopyProgram(PackageProgram(), package);
    progress->Reset();
    InstallJob job = Job();
    job.expectedMd5 = c.md5;
    job.verify = c.verify;
    report = std::make_shared<RecordingReport>();
    Start(job);
    ASSERT_TRUE(TickUntil("bad package"));
    m_thread.reset();
    EXPECT_EQ(report->Events(), std::vector<std::string>{"bad package"});
    EXPECT_FALSE(fs::exists(package));
    EXPECT_FALSE(fs::exists(installed));
    EXPECT_FALSE(progress->IsLaunching());
  }
}

TEST_F(InstallThreadTest, CleansAnEarlierInstallFirst) {
  auto old = StartStayingLauncher(installed + "/VelkorLauncher.exe", L"D:\\Velkor网络\\VelkorTessary\\VelkorLauncher.exe");
  ASSERT_TRUE(old);
  WriteFileText(installed + "/bin/old.dll", "x");
  WriteFileText(installed + "/preference.ini", "x");
  WriteFileText(installed + "/saves/slot1.dat", "keep");
  InstallJob job = Job();
  job.launcherFound = true;
  Start(job);
  ASSERT_TRUE(TickUntil("done"));

  EXPECT_EQ(old->Wait(10000), platform::WAIT_OBJECT_0) << "the earlier launcher was ended";
  EXPECT_FALSE(fs::exists(installed + "/bin/old.dll"));
  EXPECT_FALSE(fs::exists(installed + "/preference.ini"));
  EXPECT_TRUE(fs::exists(installed + "/saves/slot1.dat"));
  EXPECT_TRUE(fs::exists(installed + "/bin/game.dll"));
  ASSERT_TRUE(AwaitLauncherRecord(installed, 2));
  EXPECT_EQ(LauncherRecord(installed).back(), "-i 1008 -d");
}

// Closing the window while the thread waits for the counter ends the thread at once; it neither
// starts the launcher nor asks to close.
TEST_F(InstallThreadTest, StopsWaitingWhenItsOwnerGoes) {
  Start(Job());
  ASSERT_TRUE(AwaitLaunching());
  m_thread.reset();
  progress->Tick();
  EXPECT_TRUE(fs::exists(package));
  EXPECT_FALSE(fs::exists(installed + "/launcher_args.txt"));
  EXPECT_EQ(report->Events(), std::vector<std::string>{"安装中"});
}

}  // namespace
