// One response header line as curl hands it over, taken apart: the blank line that ends a header
// block, a "name: value" field, or a line that carries no field (the status line, a line without
// a colon or starting with one).
#pragma once

#include <cstddef>
#include <string>

enum class HeaderLineKind { kEndOfBlock, kField, kIgnored };

struct HeaderLine {
  HeaderLineKind kind = HeaderLineKind::kIgnored;
  std::wstring name;   // ANSI to wide, trimmed; set for kField
  std::wstring value;  // ANSI to wide, trimmed; set for kField
};

// Never fails: any bytes, of any length, give one of the three kinds.
HeaderLine ParseHeaderLine(const char* data, size_t length);
