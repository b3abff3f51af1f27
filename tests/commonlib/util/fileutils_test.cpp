// labels: threaded
#include "commonlib/util/FileUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commonlib/core/FileEx.h"
#include "platform/debug_channel.h"
#include "platform/errors.h"
#include "platform/filesystem.h"
#include "tests/commonlib/util/file_test_support.h"

namespace {

using vkqx_test::HostExists;
using vkqx_test::ReadHostFile;
using vkqx_test::WriteHostFile;

// --- paths ---

struct PathCase {
  const wchar_t* path;
  const wchar_t* normalized;
  const wchar_t* parent;
  const wchar_t* name;
  const wchar_t* driveRoot;
};

class PathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathTest, SplitsAndNormalises) {
  const PathCase& tc = GetParam();
  EXPECT_EQ(NormalizePath(tc.path), tc.normalized);
  EXPECT_EQ(GetParentDirectory(tc.path), tc.parent);
  EXPECT_EQ(GetFileName(tc.path), tc.name);
  EXPECT_EQ(GetDriveRoot(tc.path), tc.driveRoot);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathTest,
    ::testing::Values(PathCase{L"C:/Games//Qarnath/", L"C:\\Games\\Qarnath", L"C:\\Games", L"Qarnath", L"C:"},
                      PathCase{L"C:\\a", L"C:\\a", L"C:", L"a", L"C:"},
                      PathCase{L"name.txt", L"name.txt", L"", L"name.txt", L"na"},
                      PathCase{L"", L"", L"", L"", L""},
                      PathCase{L"C:\\", L"C:", L"", L"C:", L"C:"},
                      PathCase{L"\\", L"", L"", L"", L""},
                      PathCase{L"\\\\", L"", L"", L"", L"\\\\"},
                      PathCase{L"\\\\server\\share\\f", L"\\server\\share\\f", L"\\server\\share", L"f", L"\\\\"},
                      PathCase{L"C:\\\\\\x\\\\\\", L"C:\\x", L"C:", L"x", L"C:"},
                      PathCase{L"D:\\游戏\\新", L"D:\\游戏\\新", L"D:\\游戏", L"新", L"D:"},
                      PathCase{L"C", L"C", L"", L"C", L""}));

struct InstallPathCase {
  const wchar_t* path;
  bool valid;
};

class InstallPathTest : public ::testing::TestWithParam<InstallPathCase> {};

TEST_P(InstallPathTest, Validates) { EXPECT_EQ(IsValidInstallPath(GetParam().path), GetParam().valid); }

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallPathTest,
    ::testing::Values(InstallPathCase{L"D:\\Ga?mes", false}, InstallPathCase{L"Games\\x", false},
                      InstallPathCase{L"D:\\", true}, InstallPathCase{L"D:\\游戏\\新", true},
                      InstallPathCase{L"D:", true}, InstallPathCase{L"", false}, InstallPathCase{L"\\", false},
                      InstallPathCase{L"\\D:\\x", false}, InstallPathCase{L"D:/Games", false},
                      InstallPathCase{L"DD:\\x", false}, InstallPathCase{L"D:\\\\Games", true},
                      InstallPathCase{L"D:\\a/b", false}, InstallPathCase{L"D:\\a:b", false},
                      InstallPathCase{L"D:\\a*b", false}, InstallPathCase{L"D:\\a\"b", false},
                      InstallPathCase{L"D:\\a<b", false}, InstallPathCase{L"D:\\a>b", false},
                      InstallPathCase{L"D:\\a|b", false}, InstallPathCase{L"D:\\Velkor网络\\VelkorTessary", true}));

// --- files on mapped drives ---

class FileUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetDebugCaptureForTesting([this](std::wstring_view line) {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_lines.emplace_back(line);
    });
  }
  void TearDown() override { platform::SetDebugCaptureForTesting({}); }

  std::string Host(const std::string& name) { return drives.c + "/" + name; }
  std::vector<std::wstring> Lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
  }
  bool Logged(const std::wstring& text) {
    for (const std::wstring& line : Lines())
      if (line.find(text) != std::wstring::npos) return true;
    return false;
  }

  vkqx_test::MappedDrives drives;

 private:
  std::mutex m_mutex;
  std::vector<std::wstring> m_lines;
};

TEST_F(FileUtilsTest, ExistenceOfFilesAndDrives) {
  WriteHostFile(Host("f"), "x");
  EXPECT_TRUE(FileExists(L"C:\\f"));
  EXPECT_TRUE(FileExists(L"C:\\"));
  EXPECT_FALSE(FileExists(L"C:\\missing"));
  EXPECT_TRUE(DriveExists(L"C:\\whatever\\below"));
  EXPECT_TRUE(DriveExists(L"d:"));
  EXPECT_FALSE(DriveExists(L"Q:\\Games"));
  EXPECT_FALSE(DriveExists(L""));
  EXPECT_FALSE(DriveExists(L"\\\\server\\share"));
  std::filesystem::remove_all(drives.d);  // a mapped drive whose directory is gone
  EXPECT_FALSE(DriveExists(L"D:\\x"));
}

TEST_F(FileUtilsTest, FreeSpaceIsPerDrive) {
  EXPECT_GT(GetDiskFreeSpace(L"C:\\Games"), 0u);
  EXPECT_GT(GetDiskFreeSpace(L""), 0u);  // the current drive
  EXPECT_EQ(GetDiskFreeSpace(L"Q:\\Games"), 0u);
  std::string whyNot;
  const std::string small = drives.tmp.Sub("small");
  auto mount = vkqx_test::ScratchMount::Tmpfs(small, 256 * 1024, &whyNot);
  if (!mount) GTEST_SKIP() << whyNot;
  drives.AddDrive('F', small);
  const uint64_t empty = GetDiskFreeSpace(L"F:\\");
  EXPECT_GT(empty, 0u);
  EXPECT_LE(empty, 256u * 1024);
  // A full disk: nothing left, and writing more fails with disk full.
  CFileEx file;
  ASSERT_TRUE(file.Open(L"F:\\fill", 0x90A1, nullptr));
  const std::vector<char> block(512 * 1024, 'z');
  EXPECT_THROW(file.Write(block.data(), static_cast<uint32_t>(block.size())), CFileExException);
  file.Close();
  EXPECT_EQ(GetDiskFreeSpace(L"F:\\anything"), 0u);
  EXPECT_GT(GetDiskFreeSpace(L"C:\\"), 0u);
}

TEST_F(FileUtilsTest, CreateDirMakesEveryMissingParent) {
  EXPECT_TRUE(CreateDir(L"C:\\a\\b\\c"));
  EXPECT_TRUE(HostExists(Host("a/b/c")));
  EXPECT_TRUE(CreateDir(L"C:\\a\\b\\c"));
  EXPECT_TRUE(CreateDir(L"C:\\a/b//d\\"));
  EXPECT_TRUE(HostExists(Host("a/b/d")));
  EXPECT_TRUE(Lines().empty());
}

struct CreateDirFailure {
  const wchar_t* path;
  const wchar_t* line;
};

class CreateDirFailureTest : public FileUtilsTest, public ::testing::WithParamInterface<CreateDirFailure> {};

TEST_P(CreateDirFailureTest, LogsThePathAndTheResult) {
  WriteHostFile(Host("file"), "x");
  EXPECT_FALSE(CreateDir(GetParam().path));
  EXPECT_TRUE(Logged(GetParam().line)) << (Lines().empty() ? L"nothing logged" : Lines().back());
  EXPECT_TRUE(Logged(L"[ERRO]"));
}

INSTANTIATE_TEST_SUITE_P(Cases, CreateDirFailureTest,
                         ::testing::Values(CreateDirFailure{L"C:\\file", L"CreateDir：C:\\file ret：80"},
                                           CreateDirFailure{L"C:\\file\\sub", L"CreateDir：C:\\file\\sub ret：3"},
                                           CreateDirFailure{L"relative\\dir", L"CreateDir：relative\\dir ret：161"},
                                           CreateDirFailure{L"", L"CreateDir： ret：161"},
                                           CreateDirFailure{L"Q:\\Games", L"CreateDir：Q:\\Games ret：3"},
                                           CreateDirFailure{L"\\\\server\\share", L"CreateDir：\\\\server\\share ret：3"},
                                           CreateDirFailure{L"C:\\a*b", L"CreateDir：C:\\a*b ret：123"}));

TEST_F(FileUtilsTest, MakeAndDeleteFiles) {
  EXPECT_TRUE(MakeEmptyFile(L"C:\\new\\dir\\empty.txt"));
  EXPECT_EQ(ReadHostFile(Host("new/dir/empty.txt")), "");
  WriteHostFile(Host("full"), "contents");
  EXPECT_TRUE(MakeEmptyFile(L"C:\\full"));
  EXPECT_EQ(ReadHostFile(Host("full")), "");
  EXPECT_FALSE(MakeEmptyFile(L"C:\\new"));  // a directory
  EXPECT_FALSE(MakeEmptyFile(L"Q:\\x"));

  EXPECT_TRUE(DeleteFileIfExists(L"C:\\full"));
  EXPECT_FALSE(HostExists(Host("full")));
  EXPECT_TRUE(DeleteFileIfExists(L"C:\\full"));
  EXPECT_TRUE(DeleteFileIfExists(L"Q:\\nothing"));
  // Held without delete sharing: one attempt, refused.
  CFileEx holder;
  ASSERT_TRUE(holder.Open(L"C:\\held", 0x90A1, nullptr));
  EXPECT_FALSE(DeleteFileIfExists(L"C:\\held"));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_SHARING_VIOLATION);
}

TEST_F(FileUtilsTest, WritabilityProbe) {
  EXPECT_TRUE(IsDirectoryWritable(L"C:\\"));
  // A directory still to be made is judged by its nearest existing ancestor, and is not made.
  EXPECT_TRUE(IsDirectoryWritable(L"C:\\not\\yet\\there"));
  EXPECT_FALSE(HostExists(Host("not")));
  EXPECT_TRUE(std::filesystem::is_empty(drives.c)) << "the probe file must be gone";
  EXPECT_FALSE(IsDirectoryWritable(L"Q:\\Games"));
  EXPECT_FALSE(IsDirectoryWritable(L""));
  EXPECT_FALSE(IsDirectoryWritable(L"relative"));
  WriteHostFile(Host("file"), "x");
  EXPECT_FALSE(IsDirectoryWritable(L"C:\\file"));
}

TEST_F(FileUtilsTest, ReadOnlyDirectories) {
  ::mkdir(Host("ro").c_str(), 0777);
  WriteHostFile(Host("ro/kept"), "x");
  std::unique_ptr<vkqx_test::ScratchMount> mount;
  if (::geteuid() == 0) {
    std::string whyNot;
    mount = vkqx_test::ScratchMount::ReadOnlyBind(Host("ro"), &whyNot);
    if (!mount) GTEST_SKIP() << "root ignores permission bits and " << whyNot;
  } else {
    ::chmod(Host("ro").c_str(), 0555);
  }
  EXPECT_FALSE(IsDirectoryWritable(L"C:\\ro"));
  EXPECT_FALSE(IsDirectoryWritable(L"C:\\ro\\sub\\deeper"));
  EXPECT_FALSE(MakeEmptyFile(L"C:\\ro\\x"));
  EXPECT_FALSE(CreateDir(L"C:\\ro\\sub"));
  EXPECT_TRUE(Logged(L"CreateDir：C:\\ro\\sub ret：")) << Lines().back();
  EXPECT_FALSE(DeleteDirectoryTree(L"C:\\ro\\"));
  EXPECT_TRUE(HostExists(Host("ro/kept")));
  EXPECT_FALSE(MoveFileWithRetry(L"C:\\ro\\kept", L"C:\\moved", 0));
  mount.reset();
  ::chmod(Host("ro").c_str(), 0777);
}

TEST_F(FileUtilsTest, SizesFromTheFileOrItsEntry) {
  WriteHostFile(Host("f"), "12345");
  EXPECT_EQ(GetFileSize(L"C:\\f"), 5);
  EXPECT_EQ(GetFileSize(L"C:\\missing"), -1);
  EXPECT_EQ(GetFileSize(L""), -1);
  ::mkdir(Host("dir").c_str(), 0777);
  EXPECT_EQ(GetFileSize(L"C:\\dir"), 0);
  // Held exclusively, the file cannot be opened; its entry still tells the size.
  CFileEx exclusive;
  ASSERT_TRUE(exclusive.Open(L"C:\\f", FILEEX_READWRITE | FILEEX_SHARE_EXCLUSIVE | FILEEX_CREATE | FILEEX_NO_TRUNCATE,
                             nullptr));
  EXPECT_EQ(GetFileSize(L"C:\\f"), 5);
  exclusive.SetLength(5'000'000'000ULL);
  EXPECT_EQ(GetFileSize(L"C:\\f"), 5'000'000'000LL);
}

TEST_F(FileUtilsTest, ModifiedTimeInSecondsSince1970) {
  WriteHostFile(Host("f"), "x");
  struct timespec times[2] = {{1'489'000'000, 0}, {1'489'068'331, 999'999'999}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Host("f").c_str(), times, 0), 0);
  int64_t seconds = 0;
  ASSERT_TRUE(GetFileModifiedTime(L"C:\\f", seconds));
  EXPECT_EQ(seconds, 1'489'068'331);
  EXPECT_FALSE(GetFileModifiedTime(L"C:\\missing", seconds));
  EXPECT_FALSE(GetFileModifiedTime(L"", seconds));
  EXPECT_FALSE(GetFileModifiedTime(L"C:", seconds));
}

TEST(FileUtilsModuleDirectory, BareNamesAreLookedUpBesideTheProgram) {
  ::unsetenv("VKQX_DRIVES");
  platform::ReloadDrivesForTesting();
  const std::string name = "fileutils-mtime-" + std::to_string(::getpid()) + ".tmp";
  const std::string host = std::filesystem::canonical("/proc/self/exe").parent_path().string() + "/" + name;
  WriteHostFile(host, "x");
  struct timespec times[2] = {{1'400'000'000, 0}, {1'400'000'000, 0}};
  ::utimensat(AT_FDCWD, host.c_str(), times, 0);
  int64_t seconds = 0;
  const std::wstring wide(name.begin(), name.end());
  EXPECT_TRUE(GetFileModifiedTime(wide, seconds));
  EXPECT_EQ(seconds, 1'400'000'000);
  ::unlink(host.c_str());
}

TEST_F(FileUtilsTest, MoveReplacesTheTarget) {
  WriteHostFile(Host("from"), "new");
  WriteHostFile(Host("to"), "old");
  EXPECT_TRUE(MoveFileWithRetry(L"C:\\from", L"C:\\to", 10));
  EXPECT_EQ(ReadHostFile(Host("to")), "new");
  EXPECT_FALSE(HostExists(Host("from")));
  // A missing source fails at once, saying file not found.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MoveFileWithRetry(L"C:\\from", L"C:\\to", 10));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_FILE_NOT_FOUND);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1));
  EXPECT_EQ(ReadHostFile(Host("to")), "new");
}

TEST_F(FileUtilsTest, MoveOntoALockedTargetRetriesWithGrowingSleeps) {
  WriteHostFile(Host("from"), "new");
  CFileEx lock;
  ASSERT_TRUE(lock.Open(L"C:\\to", 0x90A1, nullptr));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MoveFileWithRetry(L"C:\\from", L"C:\\to", 2));
  // Three attempts, with 1, 101 and 201 ms after them.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(303));
  EXPECT_EQ(platform::GetLastError(), platform::ERROR_ACCESS_DENIED);
  EXPECT_TRUE(HostExists(Host("from")));
}

TEST_F(FileUtilsTest, MoveSucceedsOnceTheTargetIsReleased) {
  WriteHostFile(Host("from"), "new");
  auto lock = std::make_unique<CFileEx>();
  ASSERT_TRUE(lock->Open(L"C:\\to", 0x90A1, nullptr));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    lock->Close();
  });
  EXPECT_TRUE(MoveFileWithRetry(L"C:\\from", L"C:\\to", 10));
  release.join();
  EXPECT_EQ(ReadHostFile(Host("to")), "new");
}

TEST_F(FileUtilsTest, ClearReadOnlyKeepsTheFile) {
  WriteHostFile(Host("f"), "x");
  ::chmod(Host("f").c_str(), 0444);
  ClearReadOnly(L"C:\\f");
  EXPECT_EQ(platform::GetFileAttributes(L"C:\\f") & platform::FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(ReadHostFile(Host("f")), "x");
  ClearReadOnly(L"C:\\missing");
  ClearReadOnly(L"");
}

TEST_F(FileUtilsTest, DeleteDirectoryTreeRemovesEverythingInside) {
  std::filesystem::create_directories(Host("tree/bin/sub/deeper"));
  WriteHostFile(Host("tree/bin/a.exe"), "a");
  WriteHostFile(Host("tree/bin/sub/ro.dll"), "r");
  ::chmod(Host("tree/bin/sub/ro.dll").c_str(), 0444);
  ::chmod(Host("tree/bin/sub/deeper").c_str(), 0555);
  // Links inside are removed, never followed.
  std::filesystem::create_directories(drives.d + "/precious");
  WriteHostFile(drives.d + "/precious/save.dat", "keep");
  ::symlink((drives.d + "/precious").c_str(), Host("tree/bin/link").c_str());
  ::symlink((drives.d + "/precious/save.dat").c_str(), Host("tree/bin/filelink").c_str());
  WriteHostFile(Host("tree/binary.dat"), "a sibling");

  EXPECT_TRUE(DeleteDirectoryTree(L"C:\\tree\\bin\\"));
  EXPECT_FALSE(HostExists(Host("tree/bin")));
  EXPECT_EQ(ReadHostFile(drives.d + "/precious/save.dat"), "keep");
  EXPECT_EQ(ReadHostFile(Host("tree/binary.dat")), "a sibling");
}

TEST_F(FileUtilsTest, DeleteDirectoryTreeLeavesRootsAndMissingPathsAlone) {
  WriteHostFile(Host("f"), "x");
  EXPECT_TRUE(DeleteDirectoryTree(L"\\"));
  EXPECT_TRUE(DeleteDirectoryTree(L"/"));
  EXPECT_TRUE(DeleteDirectoryTree(L"C:\\missing\\"));
  EXPECT_TRUE(DeleteDirectoryTree(L"Q:\\missing\\"));
  EXPECT_TRUE(DeleteDirectoryTree(L""));
  EXPECT_TRUE(HostExists(Host("f")));
  // Without its trailing separator the directory is still the one deleted, not its siblings.
  std::filesystem::create_directories(Host("patch/x"));
  WriteHostFile(Host("patchnotes.txt"), "n");
  EXPECT_TRUE(DeleteDirectoryTree(L"C:\\patch"));
  EXPECT_FALSE(HostExists(Host("patch")));
  EXPECT_TRUE(HostExists(Host("patchnotes.txt")));
}

TEST_F(FileUtilsTest, OddPathsNeverCrash) {
  std::wstring veryLong = L"C:";
  for (int i = 0; i < 600; ++i) veryLong += L"\\abcdefghij";
  const std::wstring odd[] = {L"", L"relative", L"\\", L"\\\\", L"C:", L"C:\\", L"Q:", L"\\\\?\\", L"::", veryLong};
  for (const std::wstring& path : odd) {
    SCOPED_TRACE(path.substr(0, 20));
    EXPECT_FALSE(FileExists(path + L"\\nothing"));
    GetDiskFreeSpace(path);
    EXPECT_EQ(GetFileSize(path + L"\\nothing"), -1);
    int64_t seconds;
    EXPECT_FALSE(GetFileModifiedTime(path + L"\\nothing", seconds));
    EXPECT_FALSE(MoveFileWithRetry(path + L"\\nothing", L"C:\\x", 0));
    EXPECT_TRUE(DeleteFileIfExists(path + L"\\nothing"));
    ClearReadOnly(path);
    IsValidInstallPath(path);
    IsDirectoryWritable(path);
  }
  EXPECT_FALSE(CreateDir(veryLong));
  EXPECT_TRUE(std::filesystem::is_empty(drives.c)) << "nothing of a path too long is created";
  EXPECT_FALSE(MakeEmptyFile(veryLong));
  EXPECT_TRUE(DeleteDirectoryTree(veryLong + L"\\"));
  EXPECT_TRUE(HostExists(drives.c));
}

}  // namespace
