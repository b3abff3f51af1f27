// Helpers of the engine tests: a drive mapped to a temporary directory, log capture, a test clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/text.h"
#include "tests/support/TempDir.h"
#include "tests/support/TraceCapture.h"

namespace engine_test {

// C: is a fresh temporary directory for the life of the object.
class TempDrive {
 public:
  TempDrive() {
    setenv("VKQX_DRIVES", ("C:=" + m_dir.path()).c_str(), 1);
    platform::ReloadDrivesForTesting();
  }
  ~TempDrive() {
    unsetenv("VKQX_DRIVES");
    platform::ReloadDrivesForTesting();
  }
  // "C:\name" and its host path.
  static std::wstring Path(const std::string& name) { return L"C:\\" + platform::Utf8ToWide(name); }
  std::string Host(const std::string& name) const { return m_dir.Sub(name); }

  std::string Read(const std::string& name) const {
    std::ifstream in(Host(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Host(name), std::ios::binary | std::ios::trunc) << bytes;
  }
  bool Exists(const std::string& name) const { return std::ifstream(Host(name)).good(); }

 private:
  vkqx_test::TempDir m_dir;
};

// Tick and wall clock under the test's control.
class ManualClock {
 public:
  ManualClock(uint64_t tickMs, int64_t wallMs) {
    s_tick = tickMs;
    s_wall = wallMs;
    platform::SetClockForTesting({[] { return s_tick; }, [] { return s_wall; }, nullptr});
  }
  ~ManualClock() { platform::SetClockForTesting({}); }
  void Advance(uint64_t ms) {
    s_tick += ms;
    s_wall += static_cast<int64_t>(ms);
  }

 private:
  static inline uint64_t s_tick = 0;
  static inline int64_t s_wall = 0;
};

}  // namespace engine_test
