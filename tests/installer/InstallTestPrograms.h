// The real package and launcher of the build (tools/package, tools/launcher) for the install
// tests: where they are, copying them onto a test drive, starting a launcher that stays running,
// and reading what the launcher recorded.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "tests/platform/process_fixture.h"
#include "tests/support/TempDir.h"

namespace vkqx_test {

inline std::string LauncherProgram() { return BuildDir() + "/bin/VelkorLauncher.exe"; }
inline std::string PackageProgram() { return BuildDir() + "/bin/vkinstaller.exe"; }

inline std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The 32 hex digits of the package's MD5, as the build wrote them beside it.
inline std::string PackageMd5() { return ReadFileText(PackageProgram() + ".md5").substr(0, 32); }

// Copies a program to `hostPath` (directories made) without execute bits, as a download leaves it.
inline void CopyProgram(const std::string& from, const std::string& hostPath) {
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(hostPath).parent_path());
  fs::copy_file(from, hostPath, fs::copy_options::overwrite_existing);
  fs::permissions(hostPath, fs::perms::owner_read | fs::perms::owner_write);
}

inline void WriteFileText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// The lines the launcher at `hostDir` recorded, one per start.
inline std::vector<std::string> LauncherRecord(const std::string& hostDir) {
  std::vector<std::string> lines;
  std::ifstream in(hostDir + "/launcher_args.txt");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Waits until the launcher at `hostDir` has recorded `count` starts.
inline bool AwaitLauncherRecord(const std::string& hostDir, size_t count = 1, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (LauncherRecord(hostDir).size() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A copy of the launcher at `hostPath` (drive path `drivePath`), started and staying for a minute;
// returns once it runs (it has recorded its start).
inline std::unique_ptr<platform::Process> StartStayingLauncher(const std::string& hostPath,
                                                               const std::wstring& drivePath) {
  CopyProgram(LauncherProgram(), hostPath);
  const std::string dir = std::filesystem::path(hostPath).parent_path();
  const size_t before = LauncherRecord(dir).size();
  ScopedEnv stay("VKQX_LAUNCHER_STAY_MS", "60000");
  platform::ProcessStartup startup;
  startup.application = drivePath;
  auto process = platform::Process::Create(startup);
  if (process && !AwaitLauncherRecord(dir, before + 1)) process.reset();
  return process;
}

}  // namespace vkqx_test
