#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/errors.h"
#include "platform/filesystem.h"
#include "tests/commonlib/util/file_test_support.h"

namespace {

using namespace platform;
using vkqx_test::HostExists;
using vkqx_test::ReadHostFile;
using vkqx_test::WriteHostFile;

constexpr uint32_t R = GENERIC_READ;
constexpr uint32_t W = GENERIC_WRITE;
constexpr uint32_t RW = GENERIC_READ | GENERIC_WRITE;
constexpr uint32_t SR = FILE_SHARE_READ;
constexpr uint32_t SW = FILE_SHARE_WRITE;
constexpr uint32_t SRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

class PlatformFileTest : public ::testing::Test {
 protected:
  vkqx_test::MappedDrives drives;
  std::string Host(const std::string& name) { return drives.c + "/" + name; }
};

struct ShareCase {
  uint32_t firstAccess, firstShare, secondAccess, secondShare;
  bool secondOpens;
};

class SharingTest : public PlatformFileTest, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(SharingTest, SecondHandleFollowsTheWindowsRules) {
  const ShareCase& tc = GetParam();
  WriteHostFile(Host("f"), "data");
  FileHandle first = CreateFile(L"C:\\f", tc.firstAccess, tc.firstShare, OPEN_EXISTING, false);
  ASSERT_NE(first, kInvalidFile);
  FileHandle second = CreateFile(L"C:\\f", tc.secondAccess, tc.secondShare, OPEN_EXISTING, false);
  if (tc.secondOpens) {
    EXPECT_NE(second, kInvalidFile);
  } else {
    EXPECT_EQ(second, kInvalidFile);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  }
  if (second != kInvalidFile) CloseHandle(second);
  CloseHandle(first);
  // Closing gives everything back.
  FileHandle exclusive = CreateFile(L"C:\\f", RW, 0, OPEN_EXISTING, false);
  EXPECT_NE(exclusive, kInvalidFile);
  CloseHandle(exclusive);
}

INSTANTIATE_TEST_SUITE_P(Matrix, SharingTest,
                         ::testing::Values(ShareCase{R, SR, R, SR, true}, ShareCase{R, 0, R, SRW, false},
                                           ShareCase{R, SRW, R, 0, false},  // the second refuses the first's reading
                                           ShareCase{W, SR, R, SR, false},  // the first writes, the second refuses it
                                           ShareCase{W, SRW, R, SRW, true}, ShareCase{R, SR, W, SRW, false},
                                           ShareCase{W, 0, R, SRW, false},  // a write-only handle holds its locks too
                                           ShareCase{W, SW, W, SW, true}, ShareCase{RW, SRW, RW, SRW, true},
                                           ShareCase{RW, SW, R, SRW, false}));

TEST_F(PlatformFileTest, SharingHoldsAcrossProcesses) {
  WriteHostFile(Host("f"), "data");
  FileHandle mine = CreateFile(L"C:\\f", R, 0, OPEN_EXISTING, false);
  ASSERT_NE(mine, kInvalidFile);
  const pid_t child = ::fork();
  if (child == 0) {
    FileHandle other = CreateFile(L"C:\\f", R, SRW, OPEN_EXISTING, false);
    ::_exit(other == kInvalidFile ? static_cast<int>(GetLastError()) : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ERROR_SHARING_VIOLATION));
  CloseHandle(mine);
}

TEST_F(PlatformFileTest, RefusedTruncationLeavesTheContents) {
  WriteHostFile(Host("f"), "keep me");
  FileHandle holder = CreateFile(L"C:\\f", R, SR, OPEN_EXISTING, false);
  ASSERT_NE(holder, kInvalidFile);
  EXPECT_EQ(CreateFile(L"C:\\f", W, SRW, CREATE_ALWAYS, false), kInvalidFile);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(ReadHostFile(Host("f")), "keep me");
  CloseHandle(holder);
}

TEST_F(PlatformFileTest, HeldFilesCannotBeDeletedOrMoved) {
  WriteHostFile(Host("f"), "x");
  WriteHostFile(Host("g"), "y");
  FileHandle held = CreateFile(L"C:\\f", R, SRW, OPEN_EXISTING, false);
  ASSERT_NE(held, kInvalidFile);
  EXPECT_FALSE(DeleteFile(L"C:\\f"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(MoveFileEx(L"C:\\f", L"C:\\h", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(MoveFileEx(L"C:\\g", L"C:\\f", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(ReadHostFile(Host("f")), "x");
  CloseHandle(held);
  EXPECT_TRUE(MoveFileEx(L"C:\\g", L"C:\\f", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(ReadHostFile(Host("f")), "y");
  EXPECT_TRUE(DeleteFile(L"C:\\f"));
  EXPECT_FALSE(HostExists(Host("f")));
}

struct OpenErrorCase {
  const wchar_t* path;
  uint32_t access;
  CreationDisposition disposition;
  uint32_t error;
};

class OpenErrorTest : public PlatformFileTest, public ::testing::WithParamInterface<OpenErrorCase> {};

TEST_P(OpenErrorTest, ReportsTheWindowsError) {
  WriteHostFile(Host("exists"), "x");
  WriteHostFile(Host("readonly"), "x");
  ::chmod(Host("readonly").c_str(), 0444);
  ::mkdir(Host("dir").c_str(), 0777);
  const OpenErrorCase& tc = GetParam();
  SetLastError(0);
  EXPECT_EQ(CreateFile(tc.path, tc.access, SRW, tc.disposition, false), kInvalidFile);
  EXPECT_EQ(GetLastError(), tc.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenErrorTest,
    ::testing::Values(OpenErrorCase{L"C:\\missing", R, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                      OpenErrorCase{L"C:\\nodir\\missing", R, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                      OpenErrorCase{L"C:\\nodir\\new", W, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
                      OpenErrorCase{L"C:\\exists\\x", R, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                      OpenErrorCase{L"Q:\\x", R, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                      OpenErrorCase{L"\\\\server\\share\\x", R, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                      OpenErrorCase{L"", R, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                      OpenErrorCase{L"C:\\a?b", W, CREATE_ALWAYS, ERROR_INVALID_NAME},
                      OpenErrorCase{L"C:\\dir", R, OPEN_EXISTING, ERROR_ACCESS_DENIED},
                      OpenErrorCase{L"C:\\", R, OPEN_EXISTING, ERROR_ACCESS_DENIED},
                      OpenErrorCase{L"C:\\exists", W, CREATE_NEW, ERROR_FILE_EXISTS},
                      OpenErrorCase{L"C:\\readonly", W, OPEN_EXISTING, ERROR_ACCESS_DENIED},
                      OpenErrorCase{L"C:\\readonly", R, CREATE_ALWAYS, ERROR_ACCESS_DENIED}));

TEST_F(PlatformFileTest, VeryLongNamesFailCleanly) {
  std::wstring path = L"C:\\" + std::wstring(300, L'a');
  EXPECT_EQ(CreateFile(path, W, 0, CREATE_ALWAYS, false), kInvalidFile);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
  std::wstring deep = L"C:";
  for (int i = 0; i < 1000; ++i) deep += L"\\abcdefgh";
  EXPECT_EQ(CreateFile(deep, R, 0, OPEN_EXISTING, false), kInvalidFile);
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

TEST_F(PlatformFileTest, OpenTellsWhetherTheFileWasThere) {
  FileHandle fresh = CreateFile(L"C:\\f", RW, 0, OPEN_ALWAYS, false);
  ASSERT_NE(fresh, kInvalidFile);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(fresh);
  FileHandle again = CreateFile(L"C:\\f", RW, 0, CREATE_ALWAYS, false);
  ASSERT_NE(again, kInvalidFile);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(again);
}

TEST_F(PlatformFileTest, ReadsWritesSeeksAndLengths) {
  FileHandle f = CreateFile(L"C:\\f", RW, 0, CREATE_ALWAYS, false);
  ASSERT_NE(f, kInvalidFile);
  uint32_t n = 0;
  ASSERT_TRUE(WriteFile(f, "hello world", 11, &n));
  EXPECT_EQ(n, 11u);
  uint64_t pos = 0;
  ASSERT_TRUE(SetFilePointer(f, 0, FILE_CURRENT, &pos));
  EXPECT_EQ(pos, 11u);
  // Positioned transfers leave the position alone.
  ASSERT_TRUE(WriteFileAt(f, 0, "J", 1, &n));
  char buffer[16] = {};
  ASSERT_TRUE(ReadFileAt(f, 0, buffer, 5, &n));
  EXPECT_EQ(std::string(buffer, n), "Jello");
  ASSERT_TRUE(SetFilePointer(f, 0, FILE_CURRENT, &pos));
  EXPECT_EQ(pos, 11u);
  // A read at the end succeeds with nothing.
  ASSERT_TRUE(ReadFile(f, buffer, sizeof buffer, &n));
  EXPECT_EQ(n, 0u);
  // Seeking before the start is refused and moves nothing.
  EXPECT_FALSE(SetFilePointer(f, -12, FILE_END, &pos));
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  ASSERT_TRUE(SetFilePointer(f, -5, FILE_END, &pos));
  EXPECT_EQ(pos, 6u);
  ASSERT_TRUE(SetEndOfFile(f));
  uint64_t size = 0;
  ASSERT_TRUE(GetFileSize(f, &size));
  EXPECT_EQ(size, 6u);
  // Past the end: the file grows to a 64-bit length.
  ASSERT_TRUE(SetFilePointer(f, 5'000'000'000LL, FILE_BEGIN, &pos));
  ASSERT_TRUE(SetEndOfFile(f));
  ASSERT_TRUE(GetFileSize(f, &size));
  EXPECT_EQ(size, 5'000'000'000ULL);
  EXPECT_TRUE(FlushFileBuffers(f));
  EXPECT_TRUE(CloseHandle(f));
  std::ifstream in(Host("f"), std::ios::binary);
  char head[6] = {};
  in.read(head, sizeof head);
  EXPECT_EQ(std::string(head, sizeof head), "Jello ");
}

TEST_F(PlatformFileTest, AccessIsCheckedPerHandle) {
  WriteHostFile(Host("f"), "abc");
  FileHandle reader = CreateFile(L"C:\\f", R, SRW, OPEN_EXISTING, false);
  ASSERT_NE(reader, kInvalidFile);
  uint32_t n = 0;
  EXPECT_FALSE(WriteFile(reader, "x", 1, &n));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(FlushFileBuffers(reader));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetEndOfFile(reader));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(reader);
  FileHandle writer = CreateFile(L"C:\\f", W, SRW, OPEN_EXISTING, false);
  ASSERT_NE(writer, kInvalidFile);
  char c;
  EXPECT_FALSE(ReadFile(writer, &c, 1, &n));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(writer);
  EXPECT_FALSE(CloseHandle(kInvalidFile));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// The descriptor flags of the open file at `host`, from /proc.
std::string DescriptorFlags(const std::string& host) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) != host) continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string key, value;
    while (info >> key >> value)
      if (key == "flags:") return value;
  }
  return "";
}

TEST_F(PlatformFileTest, HandlesAreInheritedOnlyWhenAsked) {
  constexpr long kCloseOnExec = 02000000;
  FileHandle inherited = CreateFile(L"C:\\a", W, 0, CREATE_ALWAYS, true);
  FileHandle private_ = CreateFile(L"C:\\b", W, 0, CREATE_ALWAYS, false);
  ASSERT_NE(inherited, kInvalidFile);
  ASSERT_NE(private_, kInvalidFile);
  EXPECT_EQ(std::stol(DescriptorFlags(Host("a")), nullptr, 8) & kCloseOnExec, 0);
  EXPECT_NE(std::stol(DescriptorFlags(Host("b")), nullptr, 8) & kCloseOnExec, 0);
  CloseHandle(inherited);
  CloseHandle(private_);
}

TEST_F(PlatformFileTest, StdioStreamsOnDrivePaths) {
  WriteHostFile(Host("f"), "abc");
  FILE* stream = OpenCFile(L"C:\\f", "rb");
  ASSERT_NE(stream, nullptr);
  char buffer[4] = {};
  EXPECT_EQ(std::fread(buffer, 1, 3, stream), 3u);
  std::fclose(stream);
  EXPECT_EQ(OpenCFile(L"C:\\", "rb"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(OpenCFile(L"C:\\missing", "rb"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// --- file system calls ---

struct TreeCase {
  const wchar_t* path;
  uint32_t result;
};

class CreateTreeTest : public PlatformFileTest, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(CreateTreeTest, GivesTheShellResults) {
  ::mkdir(Host("dir").c_str(), 0777);
  WriteHostFile(Host("file"), "x");
  EXPECT_EQ(CreateDirectoryTree(GetParam().path), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Cases, CreateTreeTest,
                         ::testing::Values(TreeCase{L"C:\\new\\deeper\\still", ERROR_SUCCESS},
                                           TreeCase{L"C:/new//slashes/", ERROR_SUCCESS},
                                           TreeCase{L"C:\\dir", ERROR_ALREADY_EXISTS},
                                           TreeCase{L"C:\\", ERROR_ALREADY_EXISTS},
                                           TreeCase{L"C:\\file", ERROR_FILE_EXISTS},
                                           TreeCase{L"C:\\file\\sub", ERROR_PATH_NOT_FOUND},
                                           TreeCase{L"relative\\dir", ERROR_BAD_PATHNAME},
                                           TreeCase{L"", ERROR_BAD_PATHNAME},
                                           TreeCase{L"Q:\\x", ERROR_PATH_NOT_FOUND},
                                           TreeCase{L"\\\\server\\share\\x", ERROR_PATH_NOT_FOUND},
                                           TreeCase{L"C:\\bad|name", ERROR_INVALID_NAME}));

TEST_F(PlatformFileTest, CreateTreeNeedsTheDriveRoot) {
  std::filesystem::remove_all(drives.d);
  EXPECT_EQ(CreateDirectoryTree(L"D:\\x"), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(HostExists(drives.d));
}

TEST_F(PlatformFileTest, RemovalFollowsTheWindowsRules) {
  ::mkdir(Host("dir").c_str(), 0777);
  WriteHostFile(Host("dir/f"), "x");
  WriteHostFile(Host("ro"), "x");
  ::chmod(Host("ro").c_str(), 0444);
  EXPECT_FALSE(RemoveDirectory(L"C:\\dir"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(DeleteFile(L"C:\\dir"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFile(L"C:\\ro"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFile(L"C:\\missing"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectory(L"C:\\"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(RemoveDirectory(L"C:\\ro"));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
  EXPECT_TRUE(HostExists(drives.c));
}

TEST_F(PlatformFileTest, ReadOnlyAttributeIsTheOwnersWriteBit) {
  WriteHostFile(Host("f"), "x");
  EXPECT_EQ(GetFileAttributes(L"C:\\f"), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(SetFileAttributes(L"C:\\f", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributes(L"C:\\f"), FILE_ATTRIBUTE_READONLY);
  struct stat st {};
  ::stat(Host("f").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_TRUE(SetFileAttributes(L"C:\\f", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributes(L"C:\\f"), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributes(L"C:\\"), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributes(L"C:\\missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(SetFileAttributes(L"C:\\missing", 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformFileTest, MovesRefuseWhatWindowsRefuses) {
  WriteHostFile(Host("a"), "a");
  WriteHostFile(Host("b"), "b");
  ::mkdir(Host("dir").c_str(), 0777);
  EXPECT_FALSE(MoveFileEx(L"C:\\a", L"C:\\b", 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(MoveFileEx(L"C:\\a", L"C:\\dir", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(MoveFileEx(L"C:\\missing", L"C:\\c", 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileEx(L"C:\\a", L"C:\\nodir\\a", 0));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  ::chmod(Host("b").c_str(), 0444);
  EXPECT_FALSE(MoveFileEx(L"C:\\a", L"C:\\b", MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  // Drives on one host file system move like directories of one volume.
  EXPECT_TRUE(MoveFileEx(L"C:\\a", L"D:\\a", 0));
  EXPECT_EQ(ReadHostFile(drives.d + "/a"), "a");
}

TEST_F(PlatformFileTest, EntriesCarrySizesAttributesAndFileTimes) {
  WriteHostFile(Host("f"), "12345");
  ::mkdir(Host("dir").c_str(), 0777);
  ::symlink(Host("dir").c_str(), Host("link").c_str());
  struct timespec times[2] = {{1'500'000'000, 0}, {1'500'000'000, 500'000'000}};
  ::utimensat(AT_FDCWD, Host("f").c_str(), times, 0);
  FindData entry;
  ASSERT_TRUE(GetFindData(L"C:\\f", &entry));
  EXPECT_EQ(entry.name, L"f");
  EXPECT_EQ(entry.size, 5u);
  EXPECT_EQ(entry.lastWriteTime, 1'500'000'000LL * 10'000'000 + 5'000'000 + kFileTimeUnixEpoch);
  ASSERT_TRUE(GetFindData(L"C:\\link", &entry));
  EXPECT_EQ(entry.attributes, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_FALSE(GetFindData(L"C:\\", &entry));
  EXPECT_FALSE(GetFindData(L"C:\\dir\\", &entry));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  std::vector<FindData> list;
  ASSERT_TRUE(ListDirectory(L"C:\\", &list));
  std::vector<std::wstring> names;
  for (const FindData& e : list) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"dir", L"f", L"link"}));
  EXPECT_FALSE(ListDirectory(L"C:\\f", &list));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(PlatformFileTest, FreeSpaceOfTheDriveVolume) {
  uint64_t freeToCaller = 0, total = 0, totalFree = 0;
  ASSERT_TRUE(GetDiskFreeSpaceEx(L"C:", &freeToCaller, &total, &totalFree));
  EXPECT_GT(total, 0u);
  EXPECT_LE(freeToCaller, totalFree);
  EXPECT_TRUE(GetDiskFreeSpaceEx(nullptr, &freeToCaller, nullptr, nullptr));
  EXPECT_FALSE(GetDiskFreeSpaceEx(L"Q:\\", &freeToCaller, nullptr, nullptr));
  WriteHostFile(Host("f"), "x");
  EXPECT_FALSE(GetDiskFreeSpaceEx(L"C:\\f", &freeToCaller, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY);
}

}  // namespace
