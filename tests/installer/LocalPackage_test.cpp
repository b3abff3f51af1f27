#include "installer/Install/LocalPackage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/installer/InstallTestDrives.h"
#include "tests/installer/InstallTestPrograms.h"
#include "tests/support/TempDir.h"

namespace {

using namespace install;
using namespace vkqx_test;

// Only a client folder (marked by vkmain.dll) downloads into, or installs from, the program's
// folder; a package lying elsewhere beside the program is not trusted.
TEST(LocalPackageTest, ClientFolderDecidesWhereThePackageComesFrom) {
  const struct {
    bool marker, package;
    bool detected, local;
  } cases[] = {{false, false, false, false}, {false, true, false, false}, {true, false, true, false},
               {true, true, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "marker " << c.marker << " package " << c.package);
    TempDir tmp;
    ScopedDriveTable table("D:=" + tmp.Sub("d"));
    std::filesystem::create_directories(tmp.Sub("d/Setup"));
    if (c.marker) WriteFileText(tmp.Sub("d/Setup/vkmain.dll"), "x");
    if (c.package) WriteFileText(tmp.Sub("d/Setup/vkinstaller.exe"), "x");
    std::wstring downloadDir = L"unchanged";
    bool local = false;
    EXPECT_EQ(DetectLocalPackage(L"D:\\Setup", downloadDir, local), c.detected);
    EXPECT_EQ(downloadDir, c.detected ? L"D:\\Setup" : L"unchanged");
    EXPECT_EQ(local, c.local);
  }
}

}  // namespace
