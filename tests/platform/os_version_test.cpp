#include <gtest/gtest.h>

#include "platform/os_version.h"
#include "tests/platform/os_version_env.h"

namespace {

using vkqx_test::ScopedWindowsVersion;

TEST(OsVersion, DefaultsToWindows10Workstation) {
  ScopedWindowsVersion env({});
  platform::OsVersionInfo reported, real;
  ASSERT_TRUE(platform::GetReportedVersion(&reported));
  ASSERT_TRUE(platform::GetRealVersionInfo(&real));
  for (const auto& v : {reported, real}) {
    EXPECT_EQ(v.majorVersion, 10u);
    EXPECT_EQ(v.minorVersion, 0u);
    EXPECT_EQ(v.buildNumber, 19045u);
    EXPECT_EQ(v.platformId, platform::VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(v.productType, platform::VER_NT_WORKSTATION);
    EXPECT_EQ(v.servicePackMajor, 0);
  }
  EXPECT_FALSE(platform::IsServerR2());
#if defined(__x86_64__)
  EXPECT_EQ(platform::GetProcessorArchitecture(), platform::PROCESSOR_ARCHITECTURE_AMD64);
#endif
}

TEST(OsVersion, EnvironmentSetsEveryPart) {
  ScopedWindowsVersion env({{"VKQX_WINVER", "6.1.7601"},
                            {"VKQX_WINVER_SP", "1"},
                            {"VKQX_WINVER_SERVER", "1"},
                            {"VKQX_WINVER_PLATFORM", "9x"},
                            {"VKQX_WINVER_ARCH", "x86"},
                            {"VKQX_WINVER_R2", "1"}});
  platform::OsVersionInfo v;
  ASSERT_TRUE(platform::GetReportedVersion(&v));
  EXPECT_EQ(v.majorVersion, 6u);
  EXPECT_EQ(v.minorVersion, 1u);
  EXPECT_EQ(v.buildNumber, 7601u);
  EXPECT_EQ(v.servicePackMajor, 1);
  EXPECT_EQ(v.productType, platform::VER_NT_SERVER);
  EXPECT_EQ(v.platformId, platform::VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(platform::GetProcessorArchitecture(), platform::PROCESSOR_ARCHITECTURE_INTEL);
  EXPECT_TRUE(platform::IsServerR2());
}

TEST(OsVersion, ReportedVersionCanDifferFromTheRealOne) {
  ScopedWindowsVersion env({{"VKQX_WINVER", "10.0.22631"}, {"VKQX_WINVER_REPORTED", "6.2.9200"}});
  platform::OsVersionInfo reported, real;
  ASSERT_TRUE(platform::GetReportedVersion(&reported));
  ASSERT_TRUE(platform::GetRealVersionInfo(&real));
  EXPECT_EQ(reported.majorVersion * 100 + reported.minorVersion, 602u);
  EXPECT_EQ(reported.buildNumber, 9200u);
  EXPECT_EQ(real.majorVersion, 10u);
  EXPECT_EQ(real.buildNumber, 22631u);
}

TEST(OsVersion, QueriesCanBeMadeToFail) {
  ScopedWindowsVersion env({{"VKQX_WINVER_REPORTED", "none"}, {"VKQX_WINVER_NO_REAL", "1"}});
  platform::OsVersionInfo v;
  v.majorVersion = 77;
  EXPECT_FALSE(platform::GetReportedVersion(&v));
  EXPECT_FALSE(platform::GetRealVersionInfo(&v));
  EXPECT_EQ(v.majorVersion, 77u);
  EXPECT_FALSE(platform::GetReportedVersion(nullptr));
}

TEST(OsVersion, MalformedValuesKeepTheDefaults) {
  for (const char* bad : {"", "6", "6.", ".1", "a.b", "6.1.x", "6.1.2.3", "-6.1", "99999999999.0"}) {
    ScopedWindowsVersion env({{"VKQX_WINVER", bad}, {"VKQX_WINVER_SP", "x"}, {"VKQX_WINVER_ARCH", "sparc"}});
    platform::OsVersionInfo v;
    ASSERT_TRUE(platform::GetRealVersionInfo(&v));
    EXPECT_EQ(v.majorVersion, 10u) << bad;
    EXPECT_EQ(v.minorVersion, 0u) << bad;
    EXPECT_EQ(v.buildNumber, 19045u) << bad;
    EXPECT_EQ(v.servicePackMajor, 0) << bad;
  }
}

}  // namespace
