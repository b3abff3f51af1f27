// Resources compiled into the program. The build embeds a file's bytes under a type and an
// integer id (cmake: vkqx_add_resource, vkqx_add_string_table); the program reads them back as a
// view of static data that lives as long as the process.
//
// Types are wide strings. Named types ("ZIPRES") are the system's own; the standard ones have
// the numeric names below. An icon here is one PNG image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace platform {

inline constexpr wchar_t RT_ICON[] = L"#3";
inline constexpr wchar_t RT_STRING[] = L"#6";

// The bytes of resource (type, id); an empty span when the program has no such resource.
std::span<const uint8_t> LoadResource(std::wstring_view type, uint32_t id);

// A string of the program's string table: block id / 16 + 1, entry id mod 16, each entry a
// 16-bit little-endian length followed by that many UTF-16LE code units. Empty when the block or
// the entry is missing (or the block is cut short).
std::wstring LoadStringResource(uint32_t id);

// Registers a resource; the build's generated sources create one per embedded file before main
// runs. A later registration of the same type and id replaces the earlier one.
class ResourceRegistration {
 public:
  ResourceRegistration(const wchar_t* type, uint32_t id, const void* data, size_t size);
};

}  // namespace platform
