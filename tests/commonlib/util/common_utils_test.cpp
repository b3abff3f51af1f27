#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "commonlib/util/CommonUtils.h"
#include "tests/platform/os_version_env.h"

namespace {

using vkqx_test::ScopedWindowsVersion;

// ---- FormatSize

struct SizeCase {
  uint64_t bytes;
  const wchar_t* spaced;
  const wchar_t* tight;
};

class FormatSizeTable : public testing::TestWithParam<SizeCase> {};

TEST_P(FormatSizeTable, SwitchesUnitAtOneThousand) {
  EXPECT_EQ(FormatSize(GetParam().bytes, true), GetParam().spaced);
  EXPECT_EQ(FormatSize(GetParam().bytes, false), GetParam().tight);
}

constexpr uint64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024, TiB = GiB * 1024;

INSTANTIATE_TEST_SUITE_P(
    Boundaries, FormatSizeTable,
    testing::Values(SizeCase{0, L"0 B", L"0B"}, SizeCase{1, L"1 B", L"1B"}, SizeCase{999, L"999 B", L"999B"},
                    SizeCase{1000, L"0.98 KB", L"0.98KB"}, SizeCase{1024, L"1.00 KB", L"1.00KB"},
                    SizeCase{1023999, L"1000.00 KB", L"1000.00KB"}, SizeCase{1024000, L"0.98 MB", L"0.98MB"},
                    SizeCase{1048575, L"1.00 MB", L"1.00MB"}, SizeCase{1000 * MiB - 1, L"1000.00 MB", L"1000.00MB"},
                    SizeCase{1000 * MiB, L"0.98 GB", L"0.98GB"}, SizeCase{5 * GiB + GiB / 2, L"5.50 GB", L"5.50GB"},
                    SizeCase{1000 * GiB, L"0.98 TB", L"0.98TB"}, SizeCase{1ull << 50, L"1024.00 TB", L"1024.00TB"},
                    SizeCase{UINT64_MAX, L"16777216.00 TB", L"16777216.00TB"}));

// ---- FormatTime

class FormatTimeTest : public testing::Test {
 protected:
  void SetUp() override { SetZone("CST-8"); }  // UTC+8, needs no zone database
  void TearDown() override {
    if (m_old)
      ::setenv("TZ", m_old->c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }
  void SetZone(const char* zone) {
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  std::optional<std::string> m_old = std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

TEST_F(FormatTimeTest, FormatsLocalTimeWithPadding) {
  EXPECT_EQ(FormatTime(1531790240), L"2018-07-17 09:17:20");
  EXPECT_EQ(FormatTime(0), L"1970-01-01 08:00:00");
  EXPECT_EQ(FormatTime(1704038399), L"2023-12-31 23:59:59");
  EXPECT_EQ(FormatTime(1704038400), L"2024-01-01 00:00:00");
  SetZone("UTC0");
  EXPECT_EQ(FormatTime(0), L"1970-01-01 00:00:00");
  EXPECT_EQ(FormatTime(951825600), L"2000-02-29 12:00:00");
  EXPECT_EQ(FormatTime(-1), L"1969-12-31 23:59:59");
}

TEST_F(FormatTimeTest, TimesBeyondTheCalendarGiveEmptyText) {
  EXPECT_EQ(FormatTime(INT64_MAX), L"");
  EXPECT_EQ(FormatTime(INT64_MIN), L"");
}

// ---- Version names

struct NameCase {
  const char* name;
  std::map<std::string, std::string> env;
  const wchar_t* osName;
  int major;
  bool server;
};

class OsNameTable : public testing::TestWithParam<NameCase> {};

TEST_P(OsNameTable, NamesTheSystem) {
  ScopedWindowsVersion env(GetParam().env);
  EXPECT_EQ(GetOSName(), GetParam().osName);
  EXPECT_EQ(GetOSMajorVersion(), GetParam().major);
  EXPECT_EQ(IsWindowsServer(), GetParam().server);
}

const NameCase kNames[] = {
    {"Default", {}, L"Microsoft Windows 10 SP0", 10, false},
    {"Server2016", {{"VKQX_WINVER_SERVER", "1"}}, L"Microsoft Windows Server Technical Preview SP0", 10, true},
    // The plain query under-reports 6.2; the true version names the system.
    {"UnderReported10", {{"VKQX_WINVER_REPORTED", "6.2"}, {"VKQX_WINVER_SP", "2"}}, L"Microsoft Windows 10 SP2", 10, false},
    {"Win8Real", {{"VKQX_WINVER", "6.2"}}, L"Microsoft Windows 8 SP0", 6, false},
    {"Server2012Real", {{"VKQX_WINVER", "6.2"}, {"VKQX_WINVER_SERVER", "1"}}, L"Microsoft Windows Server 2012 SP0", 6, true},
    {"Win81Real", {{"VKQX_WINVER", "6.3"}, {"VKQX_WINVER_SP", "1"}}, L"Microsoft Windows 8.1 SP1", 6, false},
    {"Server2012R2Real", {{"VKQX_WINVER", "6.3"}, {"VKQX_WINVER_SERVER", "1"}}, L"Microsoft Windows Server 2012 R2 SP0", 6, true},
    // Without the true version the reported one names the system, without service pack.
    {"Win8Reported", {{"VKQX_WINVER", "6.2"}, {"VKQX_WINVER_NO_REAL", "1"}}, L"Microsoft Windows 8", 6, false},
    {"Server2012Reported", {{"VKQX_WINVER", "6.2"}, {"VKQX_WINVER_NO_REAL", "1"}, {"VKQX_WINVER_SERVER", "1"}},
     L"Microsoft Windows Server 2012", 6, true},
    {"Win81Reported", {{"VKQX_WINVER", "6.3"}, {"VKQX_WINVER_NO_REAL", "1"}}, L"Microsoft Windows 8.1", 6, false},
    {"Server2012R2Reported", {{"VKQX_WINVER", "6.3"}, {"VKQX_WINVER_NO_REAL", "1"}, {"VKQX_WINVER_SERVER", "1"}},
     L"Microsoft Windows Server 2012 R2", 6, true},
    {"Win10WithoutRealIsUnknown", {{"VKQX_WINVER_NO_REAL", "1"}}, L"未知操作系统", 10, false},
    // A true version this system has no name for falls back to the reported one.
    {"UnnamedRealVersion", {{"VKQX_WINVER", "6.4"}, {"VKQX_WINVER_REPORTED", "6.2"}}, L"Microsoft Windows 8", 6, false},
    {"Win11BuildIsStill10", {{"VKQX_WINVER", "10.0.22631"}}, L"Microsoft Windows 10 SP0", 10, false},
    {"FutureMajor", {{"VKQX_WINVER", "11.0"}}, L"未知操作系统", 11, false},
    {"Win7", {{"VKQX_WINVER", "6.1.7601"}, {"VKQX_WINVER_SP", "1"}}, L"Microsoft Windows 7", 6, false},
    {"Server2008R2", {{"VKQX_WINVER", "6.1"}, {"VKQX_WINVER_SERVER", "1"}}, L"Microsoft Windows Server 2008 R2", 6, true},
    {"Vista", {{"VKQX_WINVER", "6.0"}}, L"Microsoft Windows Vista", 6, false},
    {"Server2008", {{"VKQX_WINVER", "6.0"}, {"VKQX_WINVER_SERVER", "1"}}, L"Microsoft Windows Server 2008", 6, true},
    {"Unnamed6x", {{"VKQX_WINVER", "6.7"}, {"VKQX_WINVER_NO_REAL", "1"}}, L"", 6, false},
    {"XPx64", {{"VKQX_WINVER", "5.2"}, {"VKQX_WINVER_ARCH", "amd64"}}, L"Microsoft Windows XP Professional x64 Edition", 5, false},
    {"Server2003OnAmd64", {{"VKQX_WINVER", "5.2"}, {"VKQX_WINVER_ARCH", "amd64"}, {"VKQX_WINVER_SERVER", "1"}},
     L"Microsoft Windows Server 2003", 5, true},
    {"Workstation52OnX86", {{"VKQX_WINVER", "5.2"}, {"VKQX_WINVER_ARCH", "x86"}}, L"Microsoft Windows Server 2003", 5, false},
    {"Server2003R2", {{"VKQX_WINVER", "5.2"}, {"VKQX_WINVER_SERVER", "1"}, {"VKQX_WINVER_R2", "1"}},
     L"Microsoft Windows Server 2003 R2", 5, true},
    {"XP", {{"VKQX_WINVER", "5.1"}}, L"Microsoft Windows XP", 5, false},
    {"Win2000", {{"VKQX_WINVER", "5.0"}}, L"Microsoft Windows 2000", 5, false},
    {"Unnamed5x", {{"VKQX_WINVER", "5.3"}}, L"", 5, false},
    {"NT4", {{"VKQX_WINVER", "4.0"}}, L"Microsoft Windows NT 4.0", 4, false},
    {"Win95", {{"VKQX_WINVER", "4.0"}, {"VKQX_WINVER_PLATFORM", "9x"}}, L"Microsoft Windows 95", 4, false},
    {"Win98", {{"VKQX_WINVER", "4.10"}, {"VKQX_WINVER_PLATFORM", "9x"}}, L"Microsoft Windows 98", 4, false},
    {"WinMe", {{"VKQX_WINVER", "4.90"}, {"VKQX_WINVER_PLATFORM", "9x"}}, L"Microsoft Windows Me", 4, false},
    {"Unnamed4x", {{"VKQX_WINVER", "4.5"}}, L"", 4, false},
    {"Win3", {{"VKQX_WINVER", "3.51"}}, L"未知操作系统", 3, false},
    {"VersionUnreadable", {{"VKQX_WINVER_REPORTED", "none"}}, L"", 6, false},
};

INSTANTIATE_TEST_SUITE_P(Versions, OsNameTable, testing::ValuesIn(kNames),
                         [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

TEST(RealVersion, ReportsTheTrueVersionAndServicePack) {
  {
    ScopedWindowsVersion env({{"VKQX_WINVER", "6.1.7601"}, {"VKQX_WINVER_REPORTED", "6.0"}, {"VKQX_WINVER_SP", "1"}});
    uint32_t major = 0, minor = 0, sp = 0;
    ASSERT_TRUE(GetRealVersion(major, minor, sp));
    EXPECT_EQ(major, 6u);
    EXPECT_EQ(minor, 1u);
    EXPECT_EQ(sp, 1u);
  }
  {
    ScopedWindowsVersion env(std::map<std::string, std::string>{{"VKQX_WINVER_NO_REAL", "1"}});
    uint32_t major = 9, minor = 9, sp = 9;
    EXPECT_FALSE(GetRealVersion(major, minor, sp));
    EXPECT_EQ(major, 9u);
  }
}

TEST(DebugPrivilege, HasNothingToEnable) { EXPECT_TRUE(EnableDebugPrivilege()); }

}  // namespace
