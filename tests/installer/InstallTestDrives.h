// Drives for the install tests: a drive table of the test's own, and drives of a chosen size
// (tmpfs mounts, so that a free-space threshold is met to the byte) or read-only.
#pragma once

#include <sys/mount.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/drives.h"

namespace vkqx_test {

// Replaces the drive table for one scope.
class ScopedDriveTable {
 public:
  explicit ScopedDriveTable(const std::string& table) { Set(table); }
  ~ScopedDriveTable() {
    ::unsetenv("VKQX_DRIVES");
    platform::ReloadDrivesForTesting();
  }
  void Set(const std::string& table) {
    ::setenv("VKQX_DRIVES", table.c_str(), 1);
    platform::ReloadDrivesForTesting();
  }
};

// A tmpfs of `bytes` (a multiple of 4096) at `dir`: its free space is exactly `bytes` while it
// holds only directories and empty files. Mounting needs root; Mounted() tells whether it worked.
class TmpfsDrive {
 public:
  TmpfsDrive(const std::string& dir, uint64_t bytes, bool readOnly = false) : m_dir(dir) {
    std::filesystem::create_directories(dir);
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    m_mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
  }
  ~TmpfsDrive() {
    if (m_mounted) ::umount2(m_dir.c_str(), MNT_DETACH);
  }
  TmpfsDrive(const TmpfsDrive&) = delete;
  TmpfsDrive& operator=(const TmpfsDrive&) = delete;

  bool Mounted() const { return m_mounted; }

 private:
  std::string m_dir;
  bool m_mounted = false;
};

}  // namespace vkqx_test
