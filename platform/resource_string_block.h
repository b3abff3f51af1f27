// Compile-time layout of one string-table block (16 entries, each a 16-bit little-endian length
// followed by that many UTF-16LE code units), as LoadStringResource reads it. The build's
// generated sources use it; see vkqx_add_string_table in cmake/Vkqx.cmake.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

template <size_t... N>
constexpr auto MakeStringTableBlock(const char16_t (&... entries)[N]) {
  static_assert(sizeof...(N) == 16, "a string-table block has 16 entries");
  static_assert(((N - 1 <= 0xFFFF) && ...), "a string-table entry holds at most 65535 code units");
  std::array<uint8_t, 2 * (16 + ((N - 1) + ...))> block{};
  size_t at = 0;
  auto put = [&block, &at](const char16_t* text, size_t units) {
    block[at++] = static_cast<uint8_t>(units & 0xFF);
    block[at++] = static_cast<uint8_t>(units >> 8);
    for (size_t i = 0; i < units; ++i) {
      block[at++] = static_cast<uint8_t>(text[i] & 0xFF);
      block[at++] = static_cast<uint8_t>(text[i] >> 8);
    }
  };
  (put(entries, N - 1), ...);
  return block;
}

}  // namespace platform
