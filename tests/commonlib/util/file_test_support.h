// Drives mapped to a fresh temporary directory, host-side helpers to look at what the code did,
// and scratch mounts (a small tmpfs for a full disk, a read-only bind mount) where the machine
// allows them.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "platform/drives.h"
#include "tests/support/TempDir.h"

namespace vkqx_test {

// C: and D: on directories of their own for the lifetime of the object.
class MappedDrives {
 public:
  MappedDrives() {
    ::mkdir(c.c_str(), 0777);
    ::mkdir(d.c_str(), 0777);
    const std::string value = "C:=" + c + ";D:=" + d;
    ::setenv("VKQX_DRIVES", value.c_str(), 1);
    platform::ReloadDrivesForTesting();
  }
  ~MappedDrives() {
    ::unsetenv("VKQX_DRIVES");
    platform::ReloadDrivesForTesting();
  }
  // Remaps with an extra drive (for example a scratch mount).
  void AddDrive(char letter, const std::string& root) {
    const std::string value = "C:=" + c + ";D:=" + d + ";" + std::string(1, letter) + ":=" + root;
    ::setenv("VKQX_DRIVES", value.c_str(), 1);
    platform::ReloadDrivesForTesting();
  }

  TempDir tmp;
  std::string c = tmp.Sub("c");
  std::string d = tmp.Sub("d");
};

inline void WriteHostFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool HostExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A mount made by the test, detached when the object goes. Create returns null (and a reason)
// where the machine does not allow mounting.
class ScratchMount {
 public:
  static std::unique_ptr<ScratchMount> Tmpfs(const std::string& dir, size_t bytes, std::string* whyNot) {
    ::mkdir(dir.c_str(), 0777);
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) {
      *whyNot = std::string("cannot mount a tmpfs here (") + std::strerror(errno) + "); needs root";
      return nullptr;
    }
    return std::unique_ptr<ScratchMount>(new ScratchMount(dir));
  }

  // `dir` (which must exist) becomes read-only in place.
  static std::unique_ptr<ScratchMount> ReadOnlyBind(const std::string& dir, std::string* whyNot) {
    if (::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      *whyNot = std::string("cannot bind-mount here (") + std::strerror(errno) + "); needs root";
      return nullptr;
    }
    auto bound = std::unique_ptr<ScratchMount>(new ScratchMount(dir));
    if (::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      *whyNot = std::string("cannot remount read-only (") + std::strerror(errno) + ")";
      return nullptr;
    }
    return bound;
  }

  ~ScratchMount() { ::umount2(m_dir.c_str(), MNT_DETACH); }

 private:
  explicit ScratchMount(std::string dir) : m_dir(std::move(dir)) {}
  std::string m_dir;
};

}  // namespace vkqx_test
