// labels: threaded
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/process_info.h"
#include "tests/platform/process_fixture.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using platform::Process;
using platform::ProcessStartup;
using vkqx_test::ScopedEnv;

constexpr const wchar_t* kLauncher = L"C:\\Games\\Q\\bin\\Launcher.exe";

// C: is a temporary directory holding a copy of the fixture as C:\Games\Q\bin\Launcher.exe.
class ProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_dir.Sub("c"));
    m_drives = std::make_unique<ScopedEnv>("VKQX_DRIVES", "C:=" + m_dir.Sub("c"));
    platform::ReloadDrivesForTesting();
    vkqx_test::InstallFixture(LauncherHost());
    m_out = std::make_unique<ScopedEnv>("VKQX_FIXTURE_OUT", RecordPath());
  }
  void TearDown() override {
    m_drives.reset();
    platform::ReloadDrivesForTesting();
  }

  std::string LauncherHost() const { return m_dir.Sub("c/Games/Q/bin/Launcher.exe"); }
  std::string RecordPath() const { return m_dir.Sub("record"); }

  static std::unique_ptr<Process> Start(const std::wstring& application, const std::wstring& commandLine,
                                        const std::wstring& directory = L"", platform::ProcessIds* ids = nullptr) {
    ProcessStartup startup;
    startup.application = application;
    startup.commandLine = commandLine;
    startup.currentDirectory = directory;
    return Process::Create(startup, ids);
  }

  vkqx_test::TempDir m_dir;
  std::unique_ptr<ScopedEnv> m_drives;
  std::unique_ptr<ScopedEnv> m_out;
};

TEST_F(ProcessTest, ChildGetsSplitArgumentsWorkingDirectoryAndNoExtraDescriptors) {
  // A descriptor the child must not inherit.
  const int leak = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leak, 3);
  ASSERT_FALSE(vkqx_test::HasExecuteBit(LauncherHost()));
  platform::ProcessIds ids;
  auto child = Start(kLauncher, L"\"C:\\Games\\Q\\bin\\Launcher.exe\" -i \"42\" -d \"a b\" \"\" 游戏\\\"x \\\\",
                     L"C:\\Games", &ids);
  ::close(leak);
  ASSERT_NE(child, nullptr) << platform::GetLastError();
  ASSERT_EQ(child->Wait(10000), platform::WAIT_OBJECT_0);

  const auto record = vkqx_test::ReadFixtureRecord(RecordPath());
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->argv, (std::vector<std::string>{"C:\\Games\\Q\\bin\\Launcher.exe", "-i", "42", "-d", "a b", "",
                                                    "游戏\"x", "\\\\"}));
  EXPECT_EQ(fs::path(record->cwd), fs::canonical(m_dir.Sub("c/Games")));
  EXPECT_EQ(record->fds, "0,1,2");
  EXPECT_EQ(record->pid, child->id());
  EXPECT_EQ(ids.processId, child->id());
  EXPECT_EQ(ids.threadId, child->id());
  EXPECT_TRUE(vkqx_test::HasExecuteBit(LauncherHost()));
}

TEST_F(ProcessTest, EmptyCommandLineGivesTheApplicationAlone) {
  auto child = Start(kLauncher, L"");
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(child->Wait(10000), platform::WAIT_OBJECT_0);
  const auto record = vkqx_test::ReadFixtureRecord(RecordPath());
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->argv, std::vector<std::string>{"C:\\Games\\Q\\bin\\Launcher.exe"});
}

TEST_F(ProcessTest, EmptyApplicationIsTakenFromTheCommandLine) {
  auto child = Start(L"", L"\"C:\\Games\\Q\\bin\\Launcher.exe\" x");
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(child->Wait(10000), platform::WAIT_OBJECT_0);
  const auto record = vkqx_test::ReadFixtureRecord(RecordPath());
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->argv, (std::vector<std::string>{"C:\\Games\\Q\\bin\\Launcher.exe", "x"}));
}

TEST_F(ProcessTest, ExitCodes) {
  ScopedEnv exitWith("VKQX_FIXTURE_EXIT", "7");
  auto child = Start(kLauncher, L"x");
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(child->Wait(platform::INFINITE), platform::WAIT_OBJECT_0);
  uint32_t code = 0;
  ASSERT_TRUE(child->GetExitCode(&code));
  EXPECT_EQ(code, 7u);
  EXPECT_FALSE(child->Terminate(1)) << "an ended process cannot be terminated";
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(child->GetExitCode(nullptr));
}

TEST_F(ProcessTest, StillActiveUntilTerminated) {
  ScopedEnv sleep("VKQX_FIXTURE_SLEEP_MS", "30000");
  auto child = Start(kLauncher, L"x");
  ASSERT_NE(child, nullptr);
  uint32_t code = 0;
  ASSERT_TRUE(child->GetExitCode(&code));
  EXPECT_EQ(code, platform::STILL_ACTIVE);
  EXPECT_EQ(child->Wait(50), platform::WAIT_TIMEOUT);
  EXPECT_EQ(child->Wait(0), platform::WAIT_TIMEOUT);
  ASSERT_TRUE(child->Terminate(3));
  ASSERT_EQ(child->Wait(10000), platform::WAIT_OBJECT_0);
  ASSERT_TRUE(child->GetExitCode(&code));
  EXPECT_EQ(code, 3u);
}

TEST_F(ProcessTest, AClosedChildIsStillReaped) {
  ScopedEnv sleep("VKQX_FIXTURE_SLEEP_MS", "100");
  platform::ProcessIds ids;
  ASSERT_NE(Start(kLauncher, L"x", L"", &ids), nullptr);  // closed at once
  ASSERT_NE(ids.processId, 0u);
  EXPECT_TRUE(vkqx_test::AwaitProcessGone(ids.processId)) << "left a zombie";
}

TEST_F(ProcessTest, OpeningAChildSharesItsState) {
  ScopedEnv sleep("VKQX_FIXTURE_SLEEP_MS", "30000");
  auto child = Start(kLauncher, L"x");
  ASSERT_NE(child, nullptr);
  auto opened = Process::Open(child->id(), platform::SYNCHRONIZE | platform::PROCESS_TERMINATE);
  ASSERT_NE(opened, nullptr);
  EXPECT_EQ(opened->ImagePath(), kLauncher);
  ASSERT_TRUE(opened->Terminate(0));
  ASSERT_EQ(child->Wait(10000), platform::WAIT_OBJECT_0);
  uint32_t code = 1;
  ASSERT_TRUE(child->GetExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(vkqx_test::AwaitProcessGone(child->id()));
}

TEST_F(ProcessTest, SnapshotListsTheChildWithItsFileName) {
  ScopedEnv sleep("VKQX_FIXTURE_SLEEP_MS", "30000");
  auto child = Start(kLauncher, L"x");
  ASSERT_NE(child, nullptr);
  const auto entries = platform::SnapshotProcesses();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.front().processId, 0u);
  EXPECT_EQ(entries.front().exeFile, L"[System Process]");
  bool found = false;
  for (const auto& e : entries) {
    if (e.processId != child->id()) continue;
    found = true;
    EXPECT_EQ(e.exeFile, L"Launcher.exe");
    EXPECT_EQ(e.parentProcessId, platform::GetCurrentProcessId());
  }
  EXPECT_TRUE(found);
  child->Terminate(0);
  child->Wait(10000);
}

// A process that is ours but was not started here: it is waited for and ended through its
// process descriptor.
TEST_F(ProcessTest, OtherProcessesAreWaitedForAndEnded) {
  ScopedEnv sleep("VKQX_FIXTURE_SLEEP_MS", "30000");
  const std::string program = vkqx_test::FixtureProgram();
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
  auto other = Process::Open(static_cast<uint32_t>(pid), platform::SYNCHRONIZE | platform::PROCESS_TERMINATE);
  ASSERT_NE(other, nullptr);
  uint32_t code = 0;
  ASSERT_TRUE(other->GetExitCode(&code));
  EXPECT_EQ(code, platform::STILL_ACTIVE);
  EXPECT_EQ(other->Wait(50), platform::WAIT_TIMEOUT);
  ASSERT_TRUE(other->Terminate(0));
  EXPECT_EQ(other->Wait(10000), platform::WAIT_OBJECT_0);
  EXPECT_FALSE(other->GetExitCode(&code));
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
}

TEST_F(ProcessTest, OpenRejectsIdsOfNoProcess) {
  for (uint32_t id : {0u, 0x7FFFFFF0u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Process::Open(id, platform::PROCESS_ALL_ACCESS), nullptr) << id;
    EXPECT_EQ(platform::GetLastError(), platform::ERROR_INVALID_PARAMETER) << id;
  }
}

struct StartFailure {
  const char* name;
  std::wstring application;
  std::wstring commandLine;
  std::wstring directory;
  uint32_t error;
};

class ProcessStartFailure : public ProcessTest, public testing::WithParamInterface<StartFailure> {};

TEST_P(ProcessStartFailure, ReportsTheWindowsError) {
  fs::create_directories(m_dir.Sub("c/dir"));
  std::ofstream(m_dir.Sub("c/notes.exe")) << "plain text, not a program\n";
  EXPECT_EQ(Start(GetParam().application, GetParam().commandLine, GetParam().directory), nullptr);
  EXPECT_EQ(platform::GetLastError(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcessStartFailure,
    testing::Values(StartFailure{"MissingFile", L"C:\\Games\\Q\\bin\\none.exe", L"x", L"", platform::ERROR_FILE_NOT_FOUND},
                    StartFailure{"MissingDirectory", L"C:\\none\\x.exe", L"x", L"", platform::ERROR_PATH_NOT_FOUND},
                    StartFailure{"UnknownDrive", L"Q:\\x.exe", L"x", L"", platform::ERROR_PATH_NOT_FOUND},
                    StartFailure{"UncPath", L"\\\\server\\share\\x.exe", L"x", L"", platform::ERROR_PATH_NOT_FOUND},
                    StartFailure{"Directory", L"C:\\dir", L"x", L"", platform::ERROR_ACCESS_DENIED},
                    StartFailure{"NotAProgram", L"C:\\notes.exe", L"x", L"", platform::ERROR_BAD_EXE_FORMAT},
                    StartFailure{"BadWorkingDirectory", kLauncher, L"x", L"C:\\none", platform::ERROR_DIRECTORY},
                    StartFailure{"WorkingDirectoryIsAFile", kLauncher, L"x", kLauncher, platform::ERROR_DIRECTORY},
                    StartFailure{"NothingToStart", L"", L"", L"", platform::ERROR_INVALID_PARAMETER},
                    StartFailure{"BlankCommandLineOnly", L"", L"   ", L"", platform::ERROR_INVALID_PARAMETER}),
    [](const testing::TestParamInfo<StartFailure>& info) { return info.param.name; });

TEST(ModuleFileName, IsTheDrivePathOfTheRunningProgram) {
  {
    ScopedEnv drives("VKQX_DRIVES", "B:=" + fs::canonical(vkqx_test::BuildDir()).string());
    platform::ReloadDrivesForTesting();
    const std::wstring expected = platform::ToDrivePath(fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(expected.substr(0, 9), L"B:\\tests\\");
    EXPECT_EQ(platform::GetModuleFileName(), expected);
  }
  {
    ScopedEnv noDrive("VKQX_DRIVES", "B:=/nonexistent-root");
    platform::ReloadDrivesForTesting();
    EXPECT_EQ(platform::GetModuleFileName(), L"");
  }
  platform::ReloadDrivesForTesting();
}

}  // namespace
