#include "platform/resources.h"

#include <map>
#include <mutex>
#include <utility>

#include "platform/text.h"

namespace platform {
namespace {

struct Table {
  std::mutex lock;
  std::map<std::pair<std::wstring, uint32_t>, std::span<const uint8_t>> entries;
};

// Function-local: registrations run from other translation units' static initialisers, whose
// order relative to this file's is unspecified.
Table& Resources() {
  static Table table;
  return table;
}

uint16_t ReadLE16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

}  // namespace

ResourceRegistration::ResourceRegistration(const wchar_t* type, uint32_t id, const void* data, size_t size) {
  Table& table = Resources();
  std::lock_guard<std::mutex> guard(table.lock);
  table.entries[{std::wstring(type), id}] = std::span<const uint8_t>(static_cast<const uint8_t*>(data), size);
}

std::span<const uint8_t> LoadResource(std::wstring_view type, uint32_t id) {
  Table& table = Resources();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.entries.find({std::wstring(type), id});
  return it == table.entries.end() ? std::span<const uint8_t>() : it->second;
}

std::wstring LoadStringResource(uint32_t id) {
  const std::span<const uint8_t> block = LoadResource(RT_STRING, id / 16 + 1);
  size_t at = 0;
  for (uint32_t entry = 0; entry <= id % 16; ++entry) {
    if (at + 2 > block.size()) return std::wstring();
    const size_t units = ReadLE16(block, at);
    at += 2;
    if (at + units * 2 > block.size()) return std::wstring();
    if (entry == id % 16) return Utf16LEToWide(block.data() + at, units * 2);
    at += units * 2;
  }
  return std::wstring();
}

}  // namespace platform
