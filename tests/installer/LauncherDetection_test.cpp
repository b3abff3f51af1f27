#include "installer/Install/LauncherDetection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/registry_store.h"
#include "platform/text.h"
#include "tests/installer/InstallTestDrives.h"
#include "tests/installer/InstallTestPrograms.h"
#include "tests/support/TempDir.h"

namespace {

using namespace install;
using namespace vkqx_test;

TEST(LauncherDetectionTest, IniFirstThenRegistry) {
  struct Case {
    const char* name;
    const char* ini;            // the InstallPath line's value; nullptr: no INI file
    const wchar_t* registry;    // InstPath; nullptr: no entry
    std::vector<std::string> files;  // made on D: (host paths below the drive)
    bool found;
    std::wstring launcherPath;
    std::wstring installDir;  // starts as "unchanged"
  };
  const Case cases[] = {
      {"INI names the launcher", "D:\\Games\\Launcher\\VelkorLauncher.exe", L"D:\\Other",
       {"Games/Launcher/VelkorLauncher.exe", "Other/VelkorLauncher.exe"}, true,
       L"D:\\Games\\Launcher\\VelkorLauncher.exe", L"D:\\Games\\Launcher"},
      {"INI names a missing file, registry a launcher's directory", "D:\\Gone\\VelkorLauncher.exe",
       L"D:\\Velkor", {"Velkor/VelkorLauncher.exe"}, true, L"D:\\Velkor\\VelkorLauncher.exe", L"D:\\Velkor"},
      {"registry directory with a trailing separator", nullptr, L"D:\\Velkor\\",
       {"Velkor/VelkorLauncher.exe"}, true, L"D:\\Velkor\\VelkorLauncher.exe", L"D:\\Velkor\\"},
      {"registry directory without the launcher", nullptr, L"D:\\Velkor", {"Velkor/readme.txt"}, false, L"",
       L"D:\\Velkor"},
      {"registry directory missing", "", L"D:\\Nowhere", {}, false, L"", L"D:\\Nowhere"},
      {"nothing installed", nullptr, nullptr, {}, false, L"", L"unchanged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir tmp;
    ScopedDriveTable table("C:=" + tmp.Sub("c") + ";D:=" + tmp.Sub("d"));
    std::filesystem::create_directories(tmp.Sub("c"));
    std::filesystem::create_directories(tmp.Sub("d"));
    for (const std::string& file : c.files) WriteFileText(tmp.Sub("d/" + file), "x");
    if (c.ini != nullptr)
      WriteFileText(tmp.Sub("c/ProgramData/VelkorLaucher.ini"),
                    std::string("[VelkorSite-Launcher]\r\nInstallPath=") + c.ini + "\r\n");
    if (c.registry != nullptr) {
      ASSERT_EQ(platform::RegSetStringValue(platform::RegistryRoot::kLocalMachine, L"SOFTWARE\\VelkorLauncher",
                                            L"InstPath", c.registry),
                0u);
    }
    std::wstring launcherPath = L"stale", installDir = L"unchanged";
    EXPECT_EQ(DetectInstalledLauncher(launcherPath, installDir), c.found);
    EXPECT_EQ(launcherPath, c.launcherPath);
    EXPECT_EQ(installDir, c.installDir);
  }
}

}  // namespace
