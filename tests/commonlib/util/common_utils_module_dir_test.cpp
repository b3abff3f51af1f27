#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "commonlib/util/CommonUtils.h"
#include "platform/drives.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// One test: the directory is cached for the life of the process.
TEST(ModuleDirectory, IsTheProgramsDirectoryAsADrivePathComputedOnce) {
  const std::string build = fs::canonical(vkqx_test::BuildDir()).string();
  const std::string tests = fs::canonical("/proc/self/exe").parent_path().string();
  ASSERT_EQ(tests, build + "/tests");

  // Not on any drive: nothing to report, and nothing cached.
  ::setenv("VKQX_DRIVES", "Q:=/nonexistent-root", 1);
  platform::ReloadDrivesForTesting();
  EXPECT_EQ(GetModuleDirectory(), L"");

  ::setenv("VKQX_DRIVES", ("B:=" + build).c_str(), 1);
  platform::ReloadDrivesForTesting();
  EXPECT_EQ(GetModuleDirectory(), L"B:\\tests");

  // Another table later does not change the answer.
  ::setenv("VKQX_DRIVES", ("B:=" + tests).c_str(), 1);
  platform::ReloadDrivesForTesting();
  EXPECT_EQ(GetModuleDirectory(), L"B:\\tests") << "computed once";

  ::unsetenv("VKQX_DRIVES");
  platform::ReloadDrivesForTesting();
}

}  // namespace
