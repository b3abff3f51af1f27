// A named mutex that marks one holder per name among the processes of the user's session. The
// kernel lets the name go when the holding process dies, however it dies, and started programs
// do not inherit it.
//
// Names live in $XDG_RUNTIME_DIR/vkqx-names/ (or a private directory under /tmp without it), so a
// test that gives a process its own XDG_RUNTIME_DIR gives it its own namespace too.
#pragma once

#include <memory>
#include <string_view>

namespace platform {

class NamedMutex {
 public:
  // Creates the mutex, not owned. Always returns an object unless the name cannot be used at all
  // (null, last error set). When the name is already held (by another process, or another object
  // in this one) the last error is ERROR_ALREADY_EXISTS and the object holds nothing; otherwise it
  // is ERROR_SUCCESS and the object holds the name until it is destroyed.
  static std::unique_ptr<NamedMutex> Create(std::wstring_view name);

  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Whether this object is the one holding the name.
  bool HoldsName() const { return m_fd >= 0; }

 private:
  explicit NamedMutex(int fd) : m_fd(fd) {}
  int m_fd;
};

}  // namespace platform
