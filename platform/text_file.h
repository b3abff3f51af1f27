// Reading a whole text file the way the Windows profile and registry-export readers do: the
// byte-order mark decides the encoding (FF FE UTF-16LE, FE FF UTF-16BE, EF BB BF UTF-8), and a
// file without one is in the ANSI code page (UTF-8 here).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Reads and decodes the file at the drive path `path` (read sharing, others may write). False with
// the Windows error as the last error when it cannot be read; files above `maxBytes` are refused
// with ERROR_FILE_TOO_LARGE (223).
bool ReadTextFile(std::wstring_view path, std::wstring* text, uint64_t maxBytes = 16u << 20);

// Decodes bytes as ReadTextFile does.
std::wstring DecodeText(std::string_view bytes);

// Case-insensitive equality of names (simple Unicode case folding), as the profile and registry
// lookups compare section, key and value names.
bool NamesEqualIgnoringCase(std::wstring_view a, std::wstring_view b);

}  // namespace platform
