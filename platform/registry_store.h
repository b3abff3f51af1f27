// The registry values the system reads, kept in a text file on drive C: so that a test's drive
// table gives every case a registry of its own.
//
// The store is C:\Windows\vkqx_registry.reg, in the registry export format:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\VelkorLauncher]
//   "InstPath"="C:\\Program Files\\Velkor"
//   "Count"=dword:0000002a
//
// Key paths and value names compare without regard to case; "@" names a key's default value;
// strings escape "\" and '"' with a backslash. Other value forms (hex:...) and unknown lines are
// skipped. The file may be UTF-16 with its byte-order mark or 8-bit text (UTF-8 here).
//
// Writing a value: a test, a deployment script or a fixture program either writes the file by hand
// (any text editor; put it at RegistryStorePath() on the C: drive of the drive table) or calls
// RegSetStringValue / RegSetDwordValue, which rewrite the whole file as 8-bit text through a
// temporary file and a rename, so a reader never sees half a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

enum class RegistryRoot { kLocalMachine, kCurrentUser };

inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_DWORD = 4;

// The drive path of the store file.
std::wstring RegistryStorePath();

// Opening `subKey` for reading and querying `valueName`, as RegOpenKeyEx and RegQueryValueEx do:
// returns ERROR_SUCCESS, ERROR_FILE_NOT_FOUND (no store, key or value) or ERROR_MORE_DATA (the
// value does not fit `*dataSize` bytes; nothing is copied). `*type` gets the type and `*dataSize`
// the value's size in bytes, both also with ERROR_MORE_DATA. A REG_SZ value is UTF-16LE with its
// terminator (counted in the size); a REG_DWORD value is 4 little-endian bytes. `data` may be null
// to ask for the size; `type` may be null.
uint32_t RegQueryValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName, uint32_t* type,
                       uint8_t* data, uint32_t* dataSize);

// A REG_SZ value as text, read through a buffer of `bufferBytes` bytes. False when the value is
// missing, is of another type or does not fit.
bool RegQueryStringValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName, std::wstring* value,
                         uint32_t bufferBytes = 4096);

// Writes a value, creating the key and the store as needed. Returns a Windows error number.
uint32_t RegSetStringValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName,
                           std::wstring_view value);
uint32_t RegSetDwordValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName, uint32_t value);

}  // namespace platform
