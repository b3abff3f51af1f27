// Sets the emulated Windows version for one test and puts the previous one back afterwards.
#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/os_version.h"

namespace vkqx_test {

class ScopedWindowsVersion {
 public:
  // Every VKQX_WINVER* variable not named in `values` is unset for the scope.
  explicit ScopedWindowsVersion(const std::map<std::string, std::string>& values) {
    for (const char* name : kNames) {
      const char* old = std::getenv(name);
      m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
      ::unsetenv(name);
    }
    for (const auto& [name, value] : values) ::setenv(name.c_str(), value.c_str(), 1);
    platform::ReloadOsVersionForTesting();
  }
  ~ScopedWindowsVersion() {
    for (const auto& [name, value] : m_saved) {
      if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
      else
        ::unsetenv(name.c_str());
    }
    platform::ReloadOsVersionForTesting();
  }
  ScopedWindowsVersion(const ScopedWindowsVersion&) = delete;
  ScopedWindowsVersion& operator=(const ScopedWindowsVersion&) = delete;

 private:
  static constexpr const char* kNames[] = {"VKQX_WINVER",          "VKQX_WINVER_REPORTED", "VKQX_WINVER_SP",
                                           "VKQX_WINVER_SERVER",   "VKQX_WINVER_PLATFORM", "VKQX_WINVER_ARCH",
                                           "VKQX_WINVER_R2",       "VKQX_WINVER_NO_REAL"};
  std::map<std::string, std::optional<std::string>> m_saved;
};

}  // namespace vkqx_test
