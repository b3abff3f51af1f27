// The real program in hidden mode against real servers on loopback, each case with its own drives
// and runtime directory: the whole job from the descriptor to the launcher, the command line's
// game id and run options, failing and missing servers, a package that fails its check, a run
// killed mid-download and started again, and an earlier install that is cleaned first.
#include <json/json.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/installer/InstallTestDrives.h"
#include "tests/installer/InstallWorld.h"

namespace {

namespace fs = std::filesystem;
using vkqx_test::InstallWorld;
using vkqx_test::InstallWorldOptions;

constexpr int kInstallTimeoutMs = 180000;

Json::Value ParseJson(const std::string& text) {
  Json::Value value;
  Json::Reader().parse(text, value);
  return value;
}

// Runs the program to its end; the exit status (-1 when it did not end in time).
int RunToEnd(vkqx_test::InstallerProcess& process, int timeoutMs = kInstallTimeoutMs) {
  int status = 0;
  if (!process.WaitExit(timeoutMs, &status)) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Nothing of the download is left in the download directory but the descriptor-free folder.
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HiddenInstall, TheWholeJobInstallsIdentifiesLaunchesCleansUpAndReportsOnce) {
  InstallWorld world;
  ASSERT_TRUE(world.Start());
  auto process = world.Run({"-h"});
  ASSERT_TRUE(process->Started());
  ASSERT_EQ(RunToEnd(*process), 0) << process->Output();

  const std::string dir = world.InstallDir();
  EXPECT_EQ(vkqx_test::ReadFileText(dir + "/tg.id"), "16000054");
  ASSERT_TRUE(vkqx_test::AwaitLauncherRecord(dir)) << process->Output();
  EXPECT_EQ(vkqx_test::LauncherRecord(dir), std::vector<std::string>{"-i 1008 -d"});
  EXPECT_TRUE(fs::exists(dir + "/bin/game.dll"));
  // The package and the download's own files are gone; only what the package unpacked stays.
  for (const std::string& name : FilesIn(dir)) {
    EXPECT_EQ(name.find("vkinstaller"), std::string::npos) << name;
    EXPECT_EQ(name.find("qxinstall_"), std::string::npos) << name;
  }

  ASSERT_TRUE(world.stat->WaitForUploads(1, 20000));
  const std::vector<vkqx_test::StatUpload> uploads = world.stat->Uploads();
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].status, 200) << "the signature did not check out";
  const Json::Value records = ParseJson(uploads[0].data);
  ASSERT_TRUE(records.isArray() && records.size() == 1) << uploads[0].data;
  EXPECT_EQ(records[0]["log"].size(), 3u);
  EXPECT_NE(records[0]["version"].asString().find("GameId:1008"), std::string::npos) << uploads[0].data;
}

}  // namespace

namespace {

// Each a whole install whose options or servers differ; what the launcher heard, and the
// statistics tags, which always carry the product id.
struct VariantCase {
  const char* name;
  std::vector<std::string> args;
  bool firstUrlFails;
  std::vector<std::string> launcher;  // the launcher's recorded starts
};

class HiddenInstallVariants : public ::testing::TestWithParam<VariantCase> {};

TEST_P(HiddenInstallVariants, InstallAndLaunchAsAsked) {
  const VariantCase& c = GetParam();
  InstallWorldOptions options;
  options.firstUrlFails = c.firstUrlFails;
  InstallWorld world(options);
  ASSERT_TRUE(world.Start());
  auto process = world.Run(c.args);
  ASSERT_EQ(RunToEnd(*process), 0) << process->Output();
  const std::string dir = world.InstallDir();
  EXPECT_EQ(vkqx_test::ReadFileText(dir + "/tg.id"), "16000054");
  EXPECT_TRUE(fs::exists(dir + "/VelkorLauncher.exe"));
  if (!c.launcher.empty()) {
    ASSERT_TRUE(vkqx_test::AwaitLauncherRecord(dir, c.launcher.size()));
  }
  EXPECT_EQ(vkqx_test::LauncherRecord(dir), c.launcher);
  ASSERT_TRUE(world.stat->WaitForUploads(1, 20000));
  const Json::Value records = ParseJson(world.stat->Uploads()[0].data);
  EXPECT_NE(records[0]["version"].asString().find("GameId:1008"), std::string::npos);
  if (c.firstUrlFails) {
    bool missingAsked = false;
    for (const auto& e : world.nginx->AccessLog())
      missingAsked |= e.request.find("/missing/vkinstall.txt") != std::string::npos && e.status == 404;
    EXPECT_TRUE(missingAsked) << "the first URL was never asked";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HiddenInstallVariants,
    ::testing::Values(VariantCase{"GameIdOption", {"-h", "-i", "5"}, false, {"-i 5 -d"}},
                      VariantCase{"NoRun", {"-h", "-r", "0"}, false, {}},
                      VariantCase{"FirstUrlFails", {"-h"}, true, {"-i 1008 -d"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HiddenInstall, NoServerReachableEndsOnTheEleventhRetry) {
  InstallWorld world;
  ASSERT_TRUE(world.Start());
  const std::string nowhere = "http://127.0.0.1:9/vkinstall.txt";
  auto process = world.Run({"-h"}, {"VKQX_UPDATE_URLS=" + nowhere + ";" + nowhere + ";" + nowhere});
  // Eleven failures five seconds apart, plus the requests' own time.
  ASSERT_EQ(RunToEnd(*process, 240000), 0) << process->Output();
  size_t failures = 0;
  for (const std::string& line : process->Lines()) failures += line.find("CMainDlg 网络错误") != std::string::npos;
  EXPECT_EQ(failures, 11u) << process->Output();
  EXPECT_NE(process->Output().find("静默模式重试次数已用完"), std::string::npos);
  EXPECT_FALSE(fs::exists(world.InstallDir() + "/VelkorLauncher.exe"));
}

TEST(HiddenInstall, APackageWithAnotherMd5IsNeitherRunNorKept) {
  InstallWorldOptions options;
  options.md5 = "0123456789abcdef0123456789abcdef";
  InstallWorld world(options);
  ASSERT_TRUE(world.Start());
  auto process = world.Run({"-h"});
  ASSERT_EQ(RunToEnd(*process), 0) << process->Output();
  EXPECT_NE(process->Output().find("安装包校验失败"), std::string::npos) << process->Output();
  const std::string dir = world.InstallDir();
  EXPECT_FALSE(fs::exists(dir + "/VelkorLauncher.exe"));
  EXPECT_FALSE(fs::exists(dir + "/tg.id"));
  EXPECT_FALSE(fs::exists(dir + "/vkinstaller.exe"));
  EXPECT_TRUE(vkqx_test::LauncherRecord(dir).empty());
}

// The engine records finished blocks (1.25 MiB) in its meta file, so the package is large enough
// that a few blocks in flight at the kill stay well below the bound. It is no program: the silent
// installer's failure to start is not looked at, and the run still completes.
TEST(HiddenInstall, AKilledDownloadResumesWhereItStopped) {
  std::string package(16 * 1024 * 1024, '\0');
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>((i * 7919) % 251);
  InstallWorldOptions options;
  options.limitRate = "500k";  // about 1.5 MB/s over the three addresses
  options.package = package;
  InstallWorld world(options);
  ASSERT_TRUE(world.Start());
  const std::string meta = world.InstallDir() + "/vkinstaller.exe.vkdt.vkmt";
  {
    auto first = world.Run({"-h"});
    // The first finished block is on record: kill without any chance to clean up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(meta) && std::chrono::steady_clock::now() < deadline) first->WaitForLine("\x01", 20);
    ASSERT_TRUE(fs::exists(meta)) << first->Output();
    first->Signal(SIGKILL);
    int status = 0;
    ASSERT_TRUE(first->WaitExit(10000, &status));
    ASSERT_TRUE(WIFSIGNALED(status)) << "the download was over before the kill";
  }
  auto second = world.Run({"-h"});
  ASSERT_EQ(RunToEnd(*second), 0) << second->Output();
  EXPECT_EQ(vkqx_test::ReadFileText(world.InstallDir() + "/tg.id"), "16000054");
  EXPECT_FALSE(fs::exists(world.InstallDir() + "/vkinstaller.exe"));
  std::string requests;
  for (const auto& e : world.nginx->AccessLog())
    requests += e.serverAddress + " " + e.request + " range:" + e.range + " sent:" + std::to_string(e.bodyBytes) + "\n";
  EXPECT_LT(world.PackageBytesSent(), package.size() * 13 / 10) << "the download started over\n" << requests;
}

TEST(HiddenInstall, AnEarlierInstallIsEndedAndCleanedBeforeTheNewOne) {
  InstallWorld world;
  ASSERT_TRUE(world.Start());
  vkqx_test::ScopedDriveTable drives(world.Drives());
  const std::string old = world.InstallDir();
  vkqx_test::WriteFileText(world.dir.Sub("c/ProgramData/VelkorLaucher.ini"),
                           "[VelkorSite-Launcher]\r\nInstallPath=D:\\VelkorTessary\\VelkorLauncher.exe\r\n");
  vkqx_test::WriteFileText(old + "/bin/old.dll", "x");
  vkqx_test::WriteFileText(old + "/patch/old.txt", "x");
  vkqx_test::WriteFileText(old + "/ywupdate.ini", "x");
  vkqx_test::WriteFileText(old + "/GameSettings.ini", "x");
  vkqx_test::WriteFileText(old + "/save/slot1.dat", "keep");
  auto running = vkqx_test::StartStayingLauncher(old + "/VelkorLauncher.exe", L"D:\\VelkorTessary\\VelkorLauncher.exe");
  ASSERT_TRUE(running);

  auto process = world.Run({"-h"});
  ASSERT_EQ(RunToEnd(*process), 0) << process->Output();
  EXPECT_EQ(running->Wait(10000), platform::WAIT_OBJECT_0) << "the earlier launcher still runs";
  EXPECT_FALSE(fs::exists(old + "/bin/old.dll"));
  EXPECT_FALSE(fs::exists(old + "/patch/old.txt"));
  EXPECT_FALSE(fs::exists(old + "/ywupdate.ini"));
  EXPECT_FALSE(fs::exists(old + "/GameSettings.ini"));
  EXPECT_EQ(vkqx_test::ReadFileText(old + "/save/slot1.dat"), "keep");
  // The new install is in place and its launcher started.
  EXPECT_TRUE(fs::exists(old + "/bin/game.dll"));
  EXPECT_EQ(vkqx_test::ReadFileText(old + "/tg.id"), "16000054");
  ASSERT_TRUE(vkqx_test::AwaitLauncherRecord(old, 2));
  EXPECT_EQ(vkqx_test::LauncherRecord(old).back(), "-i 1008 -d");
}

}  // namespace
