#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "commonlib/util/CommonUtils.h"
#include "platform/drives.h"

namespace {

// A program of its own, since the answer is cached for the life of the process.
TEST(ModuleDirectory, AtADriveRootIsTheBareDrive) {
  const std::string tests = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  ::setenv("VKQX_DRIVES", ("B:=" + tests).c_str(), 1);
  platform::ReloadDrivesForTesting();
  EXPECT_EQ(GetModuleDirectory(), L"B:");
  ::unsetenv("VKQX_DRIVES");
  platform::ReloadDrivesForTesting();
}

}  // namespace
