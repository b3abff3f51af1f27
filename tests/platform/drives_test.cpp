#include "platform/drives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/support/TempDir.h"

namespace {

// Replaces the drive table for one test and restores the default afterwards.
class DriveTable {
 public:
  explicit DriveTable(const std::string& value) {
    ::setenv("VKQX_DRIVES", value.c_str(), 1);
    platform::ReloadDrivesForTesting();
  }
  ~DriveTable() {
    ::unsetenv("VKQX_DRIVES");
    platform::ReloadDrivesForTesting();
  }
};

class DriveMapTest : public ::testing::Test {
 protected:
  vkqx_test::TempDir tmp;
  std::string c = tmp.Sub("c");
  std::string d = tmp.Sub("d");
  std::string e = tmp.Sub("c/games");  // a drive whose root lies inside another drive
  DriveTable table{"C:=" + c + ";D:=" + d + "/;E:=" + e};
};

struct ToHostCase {
  const wchar_t* drivePath;
  const char* hostSuffix;  // after the temporary directory; nullptr when there is no host form
};

class ToHostPathTest : public DriveMapTest, public ::testing::WithParamInterface<ToHostCase> {};

TEST_P(ToHostPathTest, MapsDrivePathsToHostPaths) {
  const ToHostCase& tc = GetParam();
  const std::optional<std::string> host = platform::ToHostPath(tc.drivePath);
  if (tc.hostSuffix == nullptr) {
    EXPECT_FALSE(host.has_value()) << *host;
  } else {
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(*host, tmp.path() + tc.hostSuffix);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToHostPathTest,
    ::testing::Values(ToHostCase{L"C:\\Games\\x.txt", "/c/Games/x.txt"}, ToHostCase{L"c:/a//b/", "/c/a/b"},
                      ToHostCase{L"C:", "/c"}, ToHostCase{L"C:\\", "/c"}, ToHostCase{L"D:\\", "/d"},
                      ToHostCase{L"C:\\a\\.\\b\\..\\c", "/c/a/c"},
                      // ".." never climbs above the drive's root.
                      ToHostCase{L"C:\\..\\..\\..\\etc\\passwd", "/c/etc/passwd"},
                      ToHostCase{L"D:\\x\\..\\..\\c\\secret", "/d/c/secret"},
                      ToHostCase{L"E:\\..\\save", "/c/games/save"},
                      ToHostCase{L"\\\\?\\C:\\long", "/c/long"},
                      // A rooted path without a drive is on C:.
                      ToHostCase{L"\\Windows", "/c/Windows"},
                      // Unknown drives and network paths have no host form.
                      ToHostCase{L"Q:\\x", nullptr}, ToHostCase{L"\\\\server\\share\\x", nullptr},
                      ToHostCase{L"//server/share", nullptr}));

TEST_F(DriveMapTest, RelativePathsStayRelative) {
  EXPECT_EQ(platform::ToHostPath(L"a\\b\\..\\c"), std::optional<std::string>("a/c"));
  EXPECT_EQ(platform::ToHostPath(L"..\\x"), std::optional<std::string>("../x"));
  EXPECT_EQ(platform::ToHostPath(L""), std::optional<std::string>("."));
}

TEST_F(DriveMapTest, HostPathsMapBackWithTheLongestRootWinning) {
  EXPECT_EQ(platform::ToDrivePath(c), L"C:\\");
  EXPECT_EQ(platform::ToDrivePath(c + "/x/y.txt"), L"C:\\x\\y.txt");
  EXPECT_EQ(platform::ToDrivePath(d + "/z"), L"D:\\z");
  EXPECT_EQ(platform::ToDrivePath(e + "/save/1"), L"E:\\save\\1");
  EXPECT_EQ(platform::ToDrivePath(e), L"E:\\");
  // A sibling whose name merely starts like a root is not inside it.
  EXPECT_EQ(platform::ToDrivePath(c + "x/y"), L"");
  EXPECT_EQ(platform::ToDrivePath("/nowhere/at/all"), L"");
}

TEST_F(DriveMapTest, RoundTripsThroughBothDirections) {
  for (const wchar_t* path : {L"C:\\a\\b", L"D:\\游戏\\新.txt", L"E:\\x"}) {
    const std::optional<std::string> host = platform::ToHostPath(path);
    ASSERT_TRUE(host.has_value());
    EXPECT_EQ(platform::ToDrivePath(*host), path);
  }
}

TEST_F(DriveMapTest, RelativeHostPathsAreMadeAbsoluteFirst) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::mkdir(c.c_str(), 0777), 0);
  ASSERT_EQ(::chdir(c.c_str()), 0);
  EXPECT_EQ(platform::ToDrivePath("sub/f"), L"C:\\sub\\f");
  ASSERT_EQ(::chdir(cwd), 0);
}

TEST_F(DriveMapTest, DriveStringsAndTypesComeFromTheTable) {
  const std::vector<std::wstring> expected{L"C:\\", L"D:\\", L"E:\\"};
  EXPECT_EQ(platform::GetLogicalDriveStrings(), expected);
  EXPECT_EQ(platform::GetDriveType(L"C:\\"), platform::DRIVE_FIXED);
  EXPECT_EQ(platform::GetDriveType(L"d:"), platform::DRIVE_FIXED);
  EXPECT_EQ(platform::GetDriveType(L"Q:\\"), platform::DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(platform::GetDriveType(L""), platform::DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(platform::GetDriveType(L"\\\\server\\share"), platform::DRIVE_NO_ROOT_DIR);
}

struct TableCase {
  const char* value;
  const wchar_t* drives;  // the letters of the resulting table
};

class DriveTableParsingTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(DriveTableParsingTest, KeepsWellFormedEntriesOnly) {
  DriveTable table(GetParam().value);
  std::wstring letters;
  for (const platform::Drive& drive : platform::GetDrives()) letters += drive.letter;
  EXPECT_EQ(letters, GetParam().drives);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriveTableParsingTest,
    ::testing::Values(TableCase{"C:=/tmp/a", L"C"}, TableCase{"d:=/tmp/d;c:=/tmp/c", L"CD"},
                      TableCase{";;C:=/tmp/a;;", L"C"}, TableCase{"C=/tmp/a;1:=/x;C:/tmp;C:=;D:=/d", L"D"},
                      TableCase{"bad", L""}, TableCase{"C:=/tmp/a|removable;Z:=/", L"CZ"}));

TEST(DriveTableTypes, TypeSuffixesAndTrailingSlashes) {
  DriveTable table("C:=/tmp/a///|removable;D:=/tmp/b|remote;E:=/tmp/e|cdrom;F:=/tmp/f|ramdisk;G:=/tmp/g|odd;Z:=/");
  EXPECT_EQ(platform::GetDriveType(L"C:\\"), platform::DRIVE_REMOVABLE);
  EXPECT_EQ(platform::GetDriveType(L"D:\\"), platform::DRIVE_REMOTE);
  EXPECT_EQ(platform::GetDriveType(L"E:\\"), platform::DRIVE_CDROM);
  EXPECT_EQ(platform::GetDriveType(L"F:\\"), platform::DRIVE_RAMDISK);
  EXPECT_EQ(platform::GetDriveType(L"G:\\"), platform::DRIVE_FIXED);
  EXPECT_EQ(platform::ToHostPath(L"C:\\x"), std::optional<std::string>("/tmp/a/x"));
  EXPECT_EQ(platform::ToHostPath(L"Z:\\"), std::optional<std::string>("/"));
  EXPECT_EQ(platform::ToHostPath(L"Z:\\etc"), std::optional<std::string>("/etc"));
  // The host root is a drive too, but the deeper root wins.
  EXPECT_EQ(platform::ToDrivePath("/tmp/a/x"), L"C:\\x");
  EXPECT_EQ(platform::ToDrivePath("/usr/bin"), L"Z:\\usr\\bin");
}

TEST(DriveTableDefault, CIsThePerUserPrefixAndZTheHostRoot) {
  ::unsetenv("VKQX_DRIVES");
  vkqx_test::TempDir home;
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string saved = oldXdg ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", home.path().c_str(), 1);
  platform::ReloadDrivesForTesting();
  EXPECT_EQ(platform::ToHostPath(L"C:\\x"), std::optional<std::string>(home.path() + "/vkqx/drive_c/x"));
  EXPECT_EQ(platform::ToHostPath(L"Z:\\etc\\hosts"), std::optional<std::string>("/etc/hosts"));
  EXPECT_EQ(platform::ToDrivePath(home.path() + "/vkqx/drive_c/a"), L"C:\\a");
  EXPECT_EQ(platform::ToDrivePath("/etc/hosts"), L"Z:\\etc\\hosts");
  if (oldXdg)
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  platform::ReloadDrivesForTesting();
}

TEST_F(DriveMapTest, VeryLongPathsMapWithoutTrouble) {
  std::wstring path = L"C:";
  for (int i = 0; i < 2000; ++i) path += L"\\abcdefgh";
  const std::optional<std::string> host = platform::ToHostPath(path);
  ASSERT_TRUE(host.has_value());
  EXPECT_EQ(host->size(), c.size() + 2000 * 9);
  EXPECT_EQ(platform::ToDrivePath(*host), path);
}

}  // namespace
