#include "platform/os_version.h"

#include <charconv>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

namespace platform {
namespace {

struct EmulatedSystem {
  OsVersionInfo real;
  std::optional<OsVersionInfo> reported;  // nullopt: the plain query fails
  bool hasRealService = true;
  uint16_t architecture = PROCESSOR_ARCHITECTURE_INTEL;
  bool serverR2 = false;
};

uint16_t BuildArchitecture() {
#if defined(__x86_64__)
  return PROCESSOR_ARCHITECTURE_AMD64;
#elif defined(__aarch64__)
  return PROCESSOR_ARCHITECTURE_ARM64;
#else
  return PROCESSOR_ARCHITECTURE_INTEL;
#endif
}

std::string_view Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string_view(v) : std::string_view();
}

bool EnvFlag(const char* name) { return Env(name) == "1"; }

std::optional<uint32_t> ParseNumber(std::string_view text) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// "major.minor" or "major.minor.build" into `info`; false (and `info` untouched) if malformed.
bool ParseVersion(std::string_view text, OsVersionInfo& info) {
  const size_t dot1 = text.find('.');
  if (dot1 == std::string_view::npos) return false;
  const size_t dot2 = text.find('.', dot1 + 1);
  const auto major = ParseNumber(text.substr(0, dot1));
  const auto minor = ParseNumber(text.substr(dot1 + 1, dot2 == std::string_view::npos ? dot2 : dot2 - dot1 - 1));
  std::optional<uint32_t> build = 0;
  if (dot2 != std::string_view::npos) build = ParseNumber(text.substr(dot2 + 1));
  if (!major || !minor || !build) return false;
  info.majorVersion = *major;
  info.minorVersion = *minor;
  info.buildNumber = *build;
  return true;
}

EmulatedSystem Load() {
  EmulatedSystem s;
  s.real.majorVersion = 10;
  s.real.minorVersion = 0;
  s.real.buildNumber = 19045;
  s.real.platformId = Env("VKQX_WINVER_PLATFORM") == "9x" ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
  s.real.productType = EnvFlag("VKQX_WINVER_SERVER") ? VER_NT_SERVER : VER_NT_WORKSTATION;
  ParseVersion(Env("VKQX_WINVER"), s.real);
  if (const auto sp = ParseNumber(Env("VKQX_WINVER_SP")); sp && *sp <= 0xFFFF)
    s.real.servicePackMajor = static_cast<uint16_t>(*sp);

  s.reported = s.real;
  const std::string_view reported = Env("VKQX_WINVER_REPORTED");
  if (reported == "none")
    s.reported.reset();
  else
    ParseVersion(reported, *s.reported);

  s.hasRealService = !EnvFlag("VKQX_WINVER_NO_REAL");
  const std::string_view arch = Env("VKQX_WINVER_ARCH");
  s.architecture = arch == "x86"     ? PROCESSOR_ARCHITECTURE_INTEL
                   : arch == "amd64" ? PROCESSOR_ARCHITECTURE_AMD64
                   : arch == "arm64" ? PROCESSOR_ARCHITECTURE_ARM64
                                     : BuildArchitecture();
  s.serverR2 = EnvFlag("VKQX_WINVER_R2");
  return s;
}

struct State {
  std::mutex mutex;
  EmulatedSystem system = Load();
};

State& TheState() {
  static State* state = new State;  // never destroyed: read until the last thread ends
  return *state;
}

EmulatedSystem Current() {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.system;
}

}  // namespace

bool GetReportedVersion(OsVersionInfo* info) {
  const EmulatedSystem s = Current();
  if (info == nullptr || !s.reported) return false;
  *info = *s.reported;
  return true;
}

bool GetRealVersionInfo(OsVersionInfo* info) {
  const EmulatedSystem s = Current();
  if (info == nullptr || !s.hasRealService) return false;
  *info = s.real;
  return true;
}

uint16_t GetProcessorArchitecture() { return Current().architecture; }

bool IsServerR2() { return Current().serverR2; }

void ReloadOsVersionForTesting() {
  EmulatedSystem fresh = Load();
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.system = fresh;
}

}  // namespace platform
