// Private INI files, read with the Windows profile rules the system relies on:
// - the file is UTF-16LE or UTF-16BE with its byte-order mark, UTF-8 with its mark, or 8-bit text
//   in the ANSI code page (UTF-8 here);
// - "[section]" lines open sections; "key=value" lines hold values; lines starting with ";" are
//   comments; a line without "=" is a key with an empty value;
// - section and key names compare without regard to case; names and values are trimmed of white
//   space, and a value wrapped in one pair of matching quotes (" or ') loses them;
// - the first section of a name and the first key of a name in it win;
// - a missing file, section or key gives the default (trailing white space removed);
// - the result is cut to the buffer: at most size - 1 characters and a terminator.
// The file is read at every call; nothing is cached.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// GetPrivateProfileStringW for one key: copies the value (or the default) into buffer, cut to
// size - 1 characters, terminates it and returns the number of characters copied. A size of 0
// copies nothing and returns 0. The last error is ERROR_FILE_NOT_FOUND when the file is missing.
uint32_t GetPrivateProfileString(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                                 wchar_t* buffer, uint32_t size, std::wstring_view filePath);

// The lookup on text already decoded: the value of `key` in `section`, or false when the section
// or the key is missing.
bool FindProfileValue(std::wstring_view text, std::wstring_view section, std::wstring_view key, std::wstring* value);

// The same through a buffer of `bufferChars` characters, as text.
std::wstring ReadPrivateProfileString(std::wstring_view section, std::wstring_view key,
                                      std::wstring_view defaultValue, std::wstring_view filePath,
                                      uint32_t bufferChars);

}  // namespace platform
