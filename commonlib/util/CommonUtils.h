// Small operating-system services: the Windows version for reports, byte counts and times as
// text, starting, finding and killing processes, the program's own directory, and the URL helpers
// used when requests are built and retried. Free functions without state except the module
// directory's cache. None of them throws; failures come back as empty strings, 0, false or an
// error number. File and path functions live in FileUtils.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

// ---- Operating system

// The true version of the system, never under-reported. False when the service is missing.
bool GetRealVersion(uint32_t& major, uint32_t& minor, uint32_t& servicePackMajor);

// True unless the product type is the workstation type.
bool IsWindowsServer();

// The major version (6 when it cannot be read); above 6.1, where the plain query may
// under-report, the true major version.
int GetOSMajorVersion();

// "Microsoft Windows 10 SP0", "Microsoft Windows 7", ...; empty when the version cannot be read
// or is an unnamed 4.x to 6.x, "未知操作系统" for an unknown major version.
std::wstring GetOSName();

// The directory of the running program as a drive path, without trailing backslash ("C:\Games"),
// computed once; empty (and not cached) when the program's path cannot be read.
std::wstring GetModuleDirectory();

// ---- Text formatting

// "999 B", "0.98 KB", "1.00 MB", ... (spaced) or "999B", "0.98KB", ...: a value moves to the next
// unit once it reaches 1000 of the current one; TB is the largest unit.
std::wstring FormatSize(uint64_t bytes, bool spaced);

// The local time of `seconds` since 1970-01-01 UTC as "2018-07-17 09:17:20"; empty for a time the
// calendar cannot express.
std::wstring FormatTime(int64_t seconds);

// ---- Processes

// Starts `application` (a drive path) with the Windows command line `commandLine`, the caller's
// environment and working directory, nothing inherited. 0 on success, otherwise the Windows error
// number. The process is not waited for; `info`, when given, receives its ids.
uint32_t RunProcess(const std::wstring& application, const std::wstring& commandLine,
                    platform::ProcessIds* info = nullptr);

// The id of another running process whose image path (a drive path) begins with `pathPrefix`,
// compared without regard to letter case and ending at a path element's end ("C:\Games\Q" does
// not find "C:\Games\Qx\a.exe"); 0 when there is none or the prefix is empty.
uint32_t FindProcessByPath(const std::wstring& pathPrefix);

// Terminates (exit code 0) every other process whose image file name is exactly `exeName`
// (letter case counts) and returns how many there were, ended or not. One that cannot be opened is
// logged as "OpenProcess Error!" and left running.
int KillProcessesByName(const std::wstring& exeName);

// Gives the program the right to inspect and end other users' processes where the system has such
// a right; true when that succeeded or there is nothing to enable.
bool EnableDebugPrivilege();

// ---- Host identity
// GetMacAddress and GetLocalIp belong with the host identity functions: see HostIdentity.h.

// ---- URLs

// True when the URL is longer than five characters and begins with "https" (letter case counts).
bool IsHttps(std::wstring_view url);

// The host name or IPv4 address: after the first "://" (if any), the longest run of ASCII
// letters, digits, "." and "-".
std::wstring GetHostFromUrl(std::wstring_view url);

// The port written after the first ":" past the scheme; 443 for https and 80 otherwise when there
// is none, it is 0 or it is not a port number (above 65535).
int GetPortFromUrl(std::wstring_view url);

// Puts the https URLs first, each group keeping its order.
void SortHttpsFirst(std::vector<std::wstring>& urls);

// True for a non-empty text of digits and dots only.
bool IsIpAddress(std::wstring_view text);
