#include "platform/ini_file.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/text_file.h"

namespace platform {
namespace {

// Windows takes only space and tab as white space around profile names and values; the line
// breaks are gone already.
std::wstring_view TrimBlanks(std::wstring_view text) {
  const auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; };
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::wstring_view Unquote(std::wstring_view value) {
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

std::vector<std::wstring_view> Lines(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end == text.size()) break;
    start = end + ((text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ? 2 : 1);
  }
  return lines;
}

std::optional<std::wstring> FindValue(std::wstring_view text, std::wstring_view section, std::wstring_view key) {
  const std::wstring_view wantedSection = TrimBlanks(section);
  const std::wstring_view wantedKey = TrimBlanks(key);
  bool inSection = false;
  bool sectionSeen = false;
  for (std::wstring_view raw : Lines(text)) {
    const std::wstring_view line = TrimBlanks(raw);
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      if (sectionSeen) return std::nullopt;  // only the first section of the name counts
      size_t close = line.rfind(L']');
      if (close == 0) close = line.size();  // "[name" without its bracket still names a section
      inSection = NamesEqualIgnoringCase(TrimBlanks(line.substr(1, close - 1)), wantedSection);
      sectionSeen = inSection;
      continue;
    }
    if (!inSection) continue;
    const size_t eq = line.find(L'=');
    const std::wstring_view name = TrimBlanks(line.substr(0, eq));
    if (!NamesEqualIgnoringCase(name, wantedKey)) continue;
    if (eq == std::wstring_view::npos) return std::wstring();
    return std::wstring(Unquote(TrimBlanks(line.substr(eq + 1))));
  }
  return std::nullopt;
}

}  // namespace

bool FindProfileValue(std::wstring_view text, std::wstring_view section, std::wstring_view key, std::wstring* value) {
  std::optional<std::wstring> found = FindValue(text, section, key);
  if (!found) return false;
  *value = std::move(*found);
  return true;
}

uint32_t GetPrivateProfileString(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                                 wchar_t* buffer, uint32_t size, std::wstring_view filePath) {
  std::wstring text;
  std::optional<std::wstring> value;
  uint32_t error = ERROR_SUCCESS;
  if (ReadTextFile(filePath, &text)) {
    value = FindValue(text, section, key);
  } else {
    error = GetLastError();
  }
  if (!value) {
    std::wstring_view fallback = defaultValue;
    while (!fallback.empty() && (fallback.back() == L' ' || fallback.back() == L'\t')) fallback.remove_suffix(1);
    value = std::wstring(fallback);
  }
  if (buffer == nullptr || size == 0) {
    SetLastError(error);
    return 0;
  }
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(value->size(), size - 1));
  std::copy_n(value->data(), count, buffer);
  buffer[count] = L'\0';
  SetLastError(error);
  return count;
}

std::wstring ReadPrivateProfileString(std::wstring_view section, std::wstring_view key,
                                      std::wstring_view defaultValue, std::wstring_view filePath,
                                      uint32_t bufferChars) {
  std::vector<wchar_t> buffer(std::max<uint32_t>(bufferChars, 1));
  const uint32_t count =
      GetPrivateProfileString(section, key, defaultValue, buffer.data(), bufferChars, filePath);
  return std::wstring(buffer.data(), count);
}

}  // namespace platform
