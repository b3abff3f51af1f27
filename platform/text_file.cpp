#include "platform/text_file.h"

#include <glib.h>

#include <string>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/text.h"

namespace platform {

std::wstring DecodeText(std::string_view bytes) {
  auto startsWith = [&bytes](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (startsWith("\xFF\xFE")) return Utf16LEToWide(bytes.data() + 2, bytes.size() - 2);
  if (startsWith("\xFE\xFF")) {
    std::string swapped(bytes.substr(2));
    for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return Utf16LEToWide(swapped.data(), swapped.size());
  }
  if (startsWith("\xEF\xBB\xBF")) return Utf8ToWide(bytes.substr(3));
  return AnsiToWide(bytes);
}

bool ReadTextFile(std::wstring_view path, std::wstring* text, uint64_t maxBytes) {
  FileHandle file = CreateFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               OPEN_EXISTING, false);
  if (file == kInvalidFile) return false;
  uint64_t size = 0;
  if (!GetFileSize(file, &size)) {
    const uint32_t error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return false;
  }
  if (size > maxBytes) {
    CloseHandle(file);
    SetLastError(ERROR_FILE_TOO_LARGE);
    return false;
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t filled = 0;
  while (filled < bytes.size()) {
    uint32_t got = 0;
    if (!ReadFile(file, bytes.data() + filled, static_cast<uint32_t>(bytes.size() - filled), &got)) {
      const uint32_t error = GetLastError();
      CloseHandle(file);
      SetLastError(error);
      return false;
    }
    if (got == 0) break;  // the file shrank under us: what was there is what we read
    filled += got;
  }
  bytes.resize(filled);
  CloseHandle(file);
  *text = DecodeText(bytes);
  SetLastError(ERROR_SUCCESS);
  return true;
}

bool NamesEqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    const auto ca = static_cast<gunichar>(a[i]);
    const auto cb = static_cast<gunichar>(b[i]);
    if (g_unichar_tolower(ca) != g_unichar_tolower(cb) && g_unichar_toupper(ca) != g_unichar_toupper(cb)) return false;
  }
  return true;
}

}  // namespace platform
