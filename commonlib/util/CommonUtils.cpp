#include "commonlib/util/CommonUtils.h"

#include <algorithm>
#include <mutex>

#include "commonlib/logger/Log.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/format.h"
#include "platform/os_version.h"
#include "platform/process_info.h"

// ---------------------------------------------------------------------------------------------
// Operating system

namespace {

// Newer systems may report 6.2 to the plain query whatever they are.
bool IsAboveWindows7(const platform::OsVersionInfo& v) {
  return v.majorVersion > 6 || (v.majorVersion == 6 && v.minorVersion >= 2);
}

// The name from the true version, for the systems the plain query may hide; empty otherwise.
std::wstring NameFromRealVersion() {
  uint32_t major = 0, minor = 0, servicePack = 0;
  if (!GetRealVersion(major, minor, servicePack)) return std::wstring();
  const bool server = IsWindowsServer();
  const wchar_t* format = nullptr;
  if (major == 6 && minor == 2)
    format = server ? L"Microsoft Windows Server 2012 SP%d" : L"Microsoft Windows 8 SP%d";
  else if (major == 6 && minor == 3)
    format = server ? L"Microsoft Windows Server 2012 R2 SP%d" : L"Microsoft Windows 8.1 SP%d";
  else if (major == 10 && minor == 0)
    format = server ? L"Microsoft Windows Server Technical Preview SP%d" : L"Microsoft Windows 10 SP%d";
  return format ? platform::StrFormat(format, servicePack) : std::wstring();
}

std::wstring NameFromReportedVersion(const platform::OsVersionInfo& v) {
  const bool workstation = v.productType == platform::VER_NT_WORKSTATION;
  const uint32_t major = v.majorVersion, minor = v.minorVersion;
  if (major == 4) {
    if (minor == 0 && v.platformId == platform::VER_PLATFORM_WIN32_NT) return L"Microsoft Windows NT 4.0";
    if (minor == 0 && v.platformId == platform::VER_PLATFORM_WIN32_WINDOWS) return L"Microsoft Windows 95";
    if (minor == 10) return L"Microsoft Windows 98";
    if (minor == 90) return L"Microsoft Windows Me";
    return std::wstring();
  }
  if (major == 5) {
    if (minor == 0) return L"Microsoft Windows 2000";
    if (minor == 1) return L"Microsoft Windows XP";
    if (minor == 2) {
      if (workstation && platform::GetProcessorArchitecture() == platform::PROCESSOR_ARCHITECTURE_AMD64)
        return L"Microsoft Windows XP Professional x64 Edition";
      return platform::IsServerR2() ? L"Microsoft Windows Server 2003 R2" : L"Microsoft Windows Server 2003";
    }
    return std::wstring();
  }
  if (major == 6) {
    if (minor == 0) return workstation ? L"Microsoft Windows Vista" : L"Microsoft Windows Server 2008";
    if (minor == 1) return workstation ? L"Microsoft Windows 7" : L"Microsoft Windows Server 2008 R2";
    if (minor == 2) return workstation ? L"Microsoft Windows 8" : L"Microsoft Windows Server 2012";
    if (minor == 3) return workstation ? L"Microsoft Windows 8.1" : L"Microsoft Windows Server 2012 R2";
    return std::wstring();
  }
  return L"未知操作系统";
}

}  // namespace

// The true version has no entry point to look up here, so there is no address to cache.
bool GetRealVersion(uint32_t& major, uint32_t& minor, uint32_t& servicePackMajor) {
  platform::OsVersionInfo v;
  if (!platform::GetRealVersionInfo(&v)) return false;
  major = v.majorVersion;
  minor = v.minorVersion;
  servicePackMajor = v.servicePackMajor;
  return true;
}

bool IsWindowsServer() {
  platform::OsVersionInfo v;
  if (!platform::GetReportedVersion(&v) && !platform::GetRealVersionInfo(&v)) return false;
  return v.productType != platform::VER_NT_WORKSTATION;
}

int GetOSMajorVersion() {
  platform::OsVersionInfo v;
  if (!platform::GetReportedVersion(&v)) return 6;
  if (IsAboveWindows7(v)) {
    uint32_t major = 0, minor = 0, servicePack = 0;
    if (GetRealVersion(major, minor, servicePack)) return static_cast<int>(major);
  }
  return static_cast<int>(v.majorVersion);
}

std::wstring GetOSName() {
  platform::OsVersionInfo v;
  if (!platform::GetReportedVersion(&v)) return std::wstring();
  if (IsAboveWindows7(v)) {
    std::wstring name = NameFromRealVersion();
    if (!name.empty()) return name;
  }
  return NameFromReportedVersion(v);
}

// Filled on first success. The system first asks on the main thread during start-up; the lock
// only keeps a stray early caller on another thread from racing it.
std::wstring GetModuleDirectory() {
  static std::mutex s_mutex;
  static std::wstring s_directory;
  std::lock_guard<std::mutex> lock(s_mutex);
  if (!s_directory.empty()) return s_directory;
  const std::wstring module = platform::GetModuleFileName();
  if (module.empty()) return std::wstring();
  const size_t slash = module.rfind(L'\\');
  s_directory = slash == std::wstring::npos ? module : module.substr(0, slash);
  return s_directory;
}

// ---------------------------------------------------------------------------------------------
// Text formatting

std::wstring FormatSize(uint64_t bytes, bool spaced) {
  static const wchar_t* const kSpaced[] = {L"%.0f B", L"%.2f KB", L"%.2f MB", L"%.2f GB", L"%.2f TB"};
  static const wchar_t* const kTight[] = {L"%.0fB", L"%.2fKB", L"%.2fMB", L"%.2fGB", L"%.2fTB"};
  size_t unit = 0;
  uint64_t divisor = 1;
  if (bytes >= 1000) {
    unit = 1;
    divisor = 1024;
    while (unit < 4 && bytes >= 1000 * divisor) ++unit, divisor *= 1024;
  }
  const double value = static_cast<double>(bytes) / static_cast<double>(divisor);
  return platform::StrFormat(spaced ? kSpaced[unit] : kTight[unit], value);
}

std::wstring FormatTime(int64_t seconds) {
  platform::LocalTime t{};
  if (!platform::UnixSecondsToLocalTime(seconds, &t)) return std::wstring();
  return platform::StrFormat(L"%d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// ---------------------------------------------------------------------------------------------
// Processes

uint32_t RunProcess(const std::wstring& application, const std::wstring& commandLine, platform::ProcessIds* info) {
  platform::ProcessStartup startup;
  startup.application = application;
  startup.commandLine = commandLine;
  platform::ProcessIds ids;
  // The Process goes at once: the caller cannot wait on it, and the child is still reaped.
  if (!platform::Process::Create(startup, &ids)) return platform::GetLastError();
  if (info != nullptr) *info = ids;
  return 0;
}

namespace {

wchar_t FoldCase(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Whether `path` begins with `prefix` (letter case aside) and the prefix ends where a path element
// does: an install directory must not catch its namesakes ("Game" and "Game2").
bool BeginsWithPath(std::wstring_view path, std::wstring_view prefix) {
  if (prefix.empty() || path.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (FoldCase(path[i]) != FoldCase(prefix[i])) return false;
  return path.size() == prefix.size() || IsPathSeparator(prefix.back()) || IsPathSeparator(path[prefix.size()]);
}

// Image paths are read into a buffer of this many characters, terminator included.
constexpr size_t kImagePathCapacity = 1024;

}  // namespace

uint32_t FindProcessByPath(const std::wstring& pathPrefix) {
  // An empty prefix would name every process, and callers end what they find.
  if (pathPrefix.empty()) return 0;
  const uint32_t self = platform::GetCurrentProcessId();
  for (const platform::ProcessEntry& entry : platform::SnapshotProcesses()) {
    if (entry.processId == self) continue;
    const auto process =
        platform::Process::Open(entry.processId, platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ);
    if (!process) continue;
    std::wstring image = process->ImagePath();
    if (image.size() >= kImagePathCapacity) image.resize(kImagePathCapacity - 1);
    if (BeginsWithPath(image, pathPrefix)) return entry.processId;
  }
  return 0;
}

int KillProcessesByName(const std::wstring& exeName) {
  if (exeName.empty()) return 0;
  const uint32_t self = platform::GetCurrentProcessId();
  const std::vector<platform::ProcessEntry> entries = platform::SnapshotProcesses();
  int count = 0;
  // The first entry is the idle pseudo-process.
  for (size_t i = 1; i < entries.size(); ++i) {
    const platform::ProcessEntry& entry = entries[i];
    // A copy of ourselves under that name is the one asking, not one in the way.
    if (entry.exeFile != exeName || entry.processId == self) continue;
    ++count;
    const auto process = platform::Process::Open(entry.processId, platform::PROCESS_ALL_ACCESS);
    if (!process) {
      LOGE(L"OpenProcess Error!");
      continue;
    }
    process->Terminate(0);
  }
  return count;
}

// There is no per-process debug right on this system: which processes may be inspected and ended
// follows their owners, and nothing widens that. As on a system without security, there is nothing
// to enable, which counts as success.
bool EnableDebugPrivilege() { return true; }

// ---------------------------------------------------------------------------------------------
// URLs

namespace {

std::wstring_view AfterScheme(std::wstring_view url) {
  const size_t pos = url.find(L"://");
  return pos == std::wstring_view::npos ? url : url.substr(pos + 3);
}

bool IsHostCharacter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-';
}

}  // namespace

bool IsHttps(std::wstring_view url) { return url.size() > 5 && url.starts_with(L"https"); }

std::wstring GetHostFromUrl(std::wstring_view url) {
  const std::wstring_view rest = AfterScheme(url);
  size_t end = 0;
  while (end < rest.size() && IsHostCharacter(rest[end])) ++end;
  return std::wstring(rest.substr(0, end));
}

int GetPortFromUrl(std::wstring_view url) {
  const int fallback = IsHttps(url) ? 443 : 80;
  const std::wstring_view rest = AfterScheme(url);
  const size_t colon = rest.find(L':');
  if (colon == std::wstring_view::npos) return fallback;
  int port = 0;
  for (size_t i = colon + 1; i < rest.size() && rest[i] >= L'0' && rest[i] <= L'9'; ++i) {
    port = port * 10 + (rest[i] - L'0');
    if (port > 65535) return fallback;
  }
  return port == 0 ? fallback : port;
}

void SortHttpsFirst(std::vector<std::wstring>& urls) {
  std::stable_partition(urls.begin(), urls.end(), [](const std::wstring& url) { return IsHttps(url); });
}

bool IsIpAddress(std::wstring_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.'; });
}
