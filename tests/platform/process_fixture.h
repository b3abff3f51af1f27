// The fixture program that records how it was started (tests/fixtures/fixture_argv.cpp): where it
// is, how to install a copy on a test drive, and how to read its record.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

namespace vkqx_test {

struct FixtureRecord {
  unsigned long pid = 0;
  std::string cwd;
  std::string fds;
  std::vector<std::string> argv;
};

inline std::string FixtureProgram() { return BuildDir() + "/tests/fixture_argv"; }

// Copies the fixture to `hostPath` (directories made) without execute bits, as a download
// leaves a program.
inline void InstallFixture(const std::string& hostPath) {
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(hostPath).parent_path());
  fs::copy_file(FixtureProgram(), hostPath, fs::copy_options::overwrite_existing);
  fs::permissions(hostPath, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read);
}

inline bool HasExecuteBit(const std::string& hostPath) {
  struct stat st {};
  return ::stat(hostPath.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

inline std::optional<FixtureRecord> ReadFixtureRecord(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  FixtureRecord record;
  size_t start = 0;
  for (size_t end; (end = data.find('\0', start)) != std::string::npos; start = end + 1) {
    const std::string field = data.substr(start, end - start);
    const size_t eq = field.find('=');
    const std::string key = field.substr(0, eq), value = eq == std::string::npos ? "" : field.substr(eq + 1);
    if (key == "pid") record.pid = std::strtoul(value.c_str(), nullptr, 10);
    if (key == "cwd") record.cwd = value;
    if (key == "fds") record.fds = value;
    if (key == "arg") record.argv.push_back(value);
  }
  return record;
}

// The record once the fixture has written it (it renames a finished file into place).
inline std::optional<FixtureRecord> AwaitFixtureRecord(const std::string& path, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (std::filesystem::exists(path)) return ReadFixtureRecord(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::nullopt;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (m_old)
      ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
      ::unsetenv(m_name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

// Whether the process has gone entirely (ended and reaped), within `timeoutMs`.
inline bool AwaitProcessGone(unsigned long pid, int timeoutMs = 10000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::string dir = "/proc/" + std::to_string(pid);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!std::filesystem::exists(dir)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace vkqx_test
