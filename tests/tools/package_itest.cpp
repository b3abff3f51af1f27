// The installer package program (tools/package) run as a program: what it unpacks, and how it
// refuses bad arguments and a damaged package.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vkqx_test::BuildDir;
using vkqx_test::TempDir;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

class PackageTest : public ::testing::Test {
 protected:
  PackageTest() {
    ::setenv("VKQX_DRIVES", ("D:=" + d).c_str(), 1);
    fs::create_directories(d);
  }
  ~PackageTest() override { ::unsetenv("VKQX_DRIVES"); }

  RunResult Start(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    const std::string out = tmp.Sub("stdout"), err = tmp.Sub("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    RunResult run;
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), &actions, nullptr, argp.data(), environ) == 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadText(out);
    run.err = ReadText(err);
    return run;
  }

  RunResult Package(const std::vector<std::string>& args) { return Start(BuildDir() + "/bin/vkinstaller.exe", args); }

  // Whatever was written under the drive, as relative paths.
  std::vector<std::string> DriveContents() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(d)) names.push_back(fs::relative(e.path(), d).string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir tmp;
  std::string d = tmp.Sub("d");
  std::string target = d + "/Velkor网络/VelkorTessary";
};

TEST_F(PackageTest, SilentUnpackPutsTheLauncherAndItsFoldersInPlace) {
  const RunResult run = Package({"/S", "/unpack=D:\\Velkor网络\\VelkorTessary", "/launch=off"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> expected{"Velkor网络",
                                          "Velkor网络/VelkorTessary",
                                          "Velkor网络/VelkorTessary/Launcher.ini",
                                          "Velkor网络/VelkorTessary/VelkorLauncher.exe",
                                          "Velkor网络/VelkorTessary/bin",
                                          "Velkor网络/VelkorTessary/bin/game.dll",
                                          "Velkor网络/VelkorTessary/patch",
                                          "Velkor网络/VelkorTessary/patch/readme.txt"};
  EXPECT_EQ(DriveContents(), expected) << "no launcher record, no part files";
  struct stat st {};
  ASSERT_EQ(::stat((target + "/VelkorLauncher.exe").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);

  // Unpacking again replaces what an earlier version left.
  std::ofstream(target + "/bin/game.dll") << "old";
  ASSERT_EQ(Package({"/s", "/UNPACK=D:\\Velkor网络\\VelkorTessary", "/Launch=OFF"}).exitCode, 0);
  EXPECT_NE(ReadText(target + "/bin/game.dll"), "old");
}

TEST_F(PackageTest, WithoutLaunchOffItStartsTheLauncherFromTheTarget) {
  const RunResult run = Package({"/unpack=D:\\Velkor网络\\VelkorTessary"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("bin/game.dll"), std::string::npos) << "not silent: the files are listed";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!fs::exists(target + "/launcher_args.txt") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ReadText(target + "/launcher_args.txt"), "\n") << "started once, without arguments";
}

TEST_F(PackageTest, BadArgumentsAreRefusedWithAMessageAndNothingWritten) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "/unpack=<directory> is required"},
      {{"/S", "/launch=off"}, "/unpack=<directory> is required"},
      {{"/S", "/unpack="}, "/unpack needs a directory"},
      {{"/S", "/unpack=D:\\a", "/unpack=D:\\b"}, "/unpack given twice"},
      {{"/unpack=D:\\a", "/launch=maybe"}, "/launch takes on or off"},
      {{"/unpack=D:\\a", "/X"}, "unknown option \"/X\""},
      {{"/S=1", "/unpack=D:\\a"}, "unknown option \"/S=1\""},
      {{"/S", "D:\\a"}, "unknown option \"D:\\a\""},
      {{"/S", "/unpack=Q:\\a"}, "is on no drive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const RunResult run = Package(c.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
    EXPECT_TRUE(DriveContents().empty());
  }
}

// A package cut short or altered in transit fails with code 1 and leaves no file half-written.
TEST_F(PackageTest, DamagedPackageFailsWithoutPartFiles) {
  const std::string good = ReadText(BuildDir() + "/bin/vkinstaller.exe");
  const std::string stub = ReadText(BuildDir() + "/tools/package/vkinstaller_stub");
  std::string flipped = good;
  // Inside the launcher's compressed bytes: the archive opens, the entry's check fails.
  for (size_t i = stub.size() + 2000; i < stub.size() + 2100; ++i) flipped[i] = static_cast<char>(~flipped[i]);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"cut short", good.substr(0, good.size() - 100)},
      {"no archive", stub},
      {"altered", flipped},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string copy = tmp.Sub("damaged.exe");
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << c.bytes;
    fs::permissions(copy, fs::perms::owner_all);
    const RunResult run = Start(copy, {"/S", "/unpack=D:\\x", "/launch=off"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("vkinstaller: "), std::string::npos);
    for (const std::string& name : DriveContents()) EXPECT_EQ(name.find(".vkpart"), std::string::npos) << name;
    EXPECT_FALSE(fs::exists(d + "/x/VelkorLauncher.exe"));
  }
}

}  // namespace

namespace {

// The launcher stand-in records every start beside itself, then refuses what it does not know.
TEST_F(PackageTest, LauncherRecordsItsArgumentsAndRefusesUnknownOnes) {
  const std::string launcher = d + "/L/VelkorLauncher.exe";
  fs::create_directories(d + "/L");
  fs::copy_file(BuildDir() + "/bin/VelkorLauncher.exe", launcher);
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* line;
  } cases[] = {
      {{"-i", "1008", "-d"}, 0, "-i 1008 -d"},
      {{"-i", "-5"}, 0, "-i -5"},
      {{}, 0, ""},
      {{"-x"}, 2, "-x"},
      {{"-i"}, 2, "-i"},
      {{"-i", "10a8", "-d"}, 2, "-i 10a8 -d"},
      {{"a b", "", "q\"t"}, 2, "\"a b\" \"\" \"q\\\"t\""},
  };
  std::string expected;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const RunResult run = Start(launcher, c.args);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.err.empty(), c.exitCode == 0) << run.err;
    expected += std::string(c.line) + "\n";
    EXPECT_EQ(ReadText(d + "/L/launcher_args.txt"), expected);
  }
}

}  // namespace
