// The Windows version this host presents to the system. Reports, the statistics record and the
// choice of the MAC-address method depend on it, so it is emulated here: by default
// Windows 10.0 (build 19045), workstation, NT platform, no service pack, the processor
// architecture of this build. The environment replaces any part of it (read on first use and again
// by ReloadOsVersionForTesting):
//
//   VKQX_WINVER=6.1.7601        the real version, "major.minor" or "major.minor.build"
//   VKQX_WINVER_REPORTED=6.2    what the plain version query reports, for programs that newer
//                               systems under-report to (default: the real version); "none"
//                               makes that query fail
//   VKQX_WINVER_SP=1            the service-pack major number (default 0)
//   VKQX_WINVER_SERVER=1        a server product type instead of a workstation
//   VKQX_WINVER_PLATFORM=9x     the Windows 9x platform instead of NT
//   VKQX_WINVER_ARCH=x86        the processor architecture: x86, amd64 or arm64
//   VKQX_WINVER_R2=1            the "second release of Server 2003" system metric is set
//   VKQX_WINVER_NO_REAL=1       the real-version service is missing, as on old systems
//
// A malformed value is ignored: that part keeps its default.
#pragma once

#include <cstdint>

namespace platform {

inline constexpr uint8_t VER_NT_WORKSTATION = 1;
inline constexpr uint8_t VER_NT_DOMAIN_CONTROLLER = 2;
inline constexpr uint8_t VER_NT_SERVER = 3;

inline constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

inline constexpr uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_ARM64 = 12;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;

struct OsVersionInfo {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
  uint16_t servicePackMajor = 0;
  uint16_t servicePackMinor = 0;
  uint8_t productType = 0;
};

// The version the plain query reports. False (and `info` untouched) when that query fails.
bool GetReportedVersion(OsVersionInfo* info);

// The true version, never under-reported. False when the service is missing.
bool GetRealVersionInfo(OsVersionInfo* info);

uint16_t GetProcessorArchitecture();

// The system metric that tells the second release of Server 2003 from the first.
bool IsServerR2();

// Reads the VKQX_WINVER variables again (tests set them per case).
void ReloadOsVersionForTesting();

}  // namespace platform
