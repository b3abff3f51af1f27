// Text conversions. std::wstring is the system's wide string (UTF-32 here); the byte forms the
// system defines as UTF-16 are converted exactly at their boundary, surrogate pairs included.
// The ANSI code page is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 <-> wide. Each byte that does not start a valid sequence becomes U+FFFD; empty input gives an empty string.
std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);

// ANSI code page <-> wide. A character with no ANSI form (a lone surrogate, a value past
// U+10FFFF) becomes a space.
std::string WideToAnsi(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);

// UTF-16 <-> wide. Characters above U+FFFF become surrogate pairs; a lone surrogate in UTF-16 input
// is kept as that code point, so that any UTF-16 sequence survives a round trip.
std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view text);

// UTF-16LE bytes: appends the code units of `text`, two bytes each, no terminator.
void AppendUtf16LE(std::wstring_view text, std::string& out);
// Decodes `byteCount` bytes of UTF-16LE (a trailing odd byte is ignored).
std::wstring Utf16LEToWide(const void* bytes, size_t byteCount);

// Three-way comparison by UTF-16 code unit, the order in which the system's maps are kept.
int CompareUtf16(std::wstring_view a, std::wstring_view b);
struct Utf16Less {
  bool operator()(const std::wstring& a, const std::wstring& b) const { return CompareUtf16(a, b) < 0; }
};

// Decimal text of 32-bit numbers, and the C runtime's decimal parsing (leading white space, an
// optional sign, digits up to the first non-digit; 0 for text that is not a number).
std::wstring IntToWide(int32_t value);
std::wstring UIntToWide(uint32_t value);
int32_t WideToInt32(std::wstring_view text);
int64_t WideToInt64(std::wstring_view text);

// White space removed at both ends.
std::wstring Trim(std::wstring_view text);
std::string Trim(std::string_view text);

}  // namespace platform
