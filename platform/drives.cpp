#include "platform/drives.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cwctype>
#include <mutex>

#include "platform/text.h"

namespace platform {
namespace {

DriveType ParseType(std::string_view name) {
  if (name == "removable") return DRIVE_REMOVABLE;
  if (name == "remote") return DRIVE_REMOTE;
  if (name == "cdrom") return DRIVE_CDROM;
  if (name == "ramdisk") return DRIVE_RAMDISK;
  return DRIVE_FIXED;
}

std::string StripTrailingSlashes(std::string root) {
  while (!root.empty() && root.back() == '/') root.pop_back();
  return root;
}

std::vector<Drive> LoadTable() {
  std::vector<Drive> table;
  const char* env = std::getenv("VKQX_DRIVES");
  if (env != nullptr && *env != '\0') {
    std::string_view rest(env);
    while (!rest.empty()) {
      const size_t end = rest.find(';');
      std::string_view entry = rest.substr(0, end);
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      if (entry.size() < 4 || entry[1] != ':' || entry[2] != '=') continue;
      const auto letter = static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(entry[0])));
      if (letter < L'A' || letter > L'Z') continue;
      std::string_view root = entry.substr(3);
      DriveType type = DRIVE_FIXED;
      if (const size_t bar = root.find('|'); bar != std::string_view::npos) {
        type = ParseType(root.substr(bar + 1));
        root = root.substr(0, bar);
      }
      table.push_back(Drive{letter, StripTrailingSlashes(std::string(root)), type});
    }
  } else {
    std::string prefix;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
      prefix = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
      prefix = std::string(home) + "/.local/share";
    else
      prefix = "/tmp";
    table.push_back(Drive{L'C', prefix + "/vkqx/drive_c", DRIVE_FIXED});
    table.push_back(Drive{L'Z', "", DRIVE_FIXED});
  }
  std::sort(table.begin(), table.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
  return table;
}

struct Table {
  std::mutex mutex;
  std::vector<Drive> drives = LoadTable();
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: used until the last thread ends
  return *table;
}

std::optional<Drive> FindDrive(wchar_t letter) {
  const auto upper = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(letter)));
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (const Drive& d : t.drives)
    if (d.letter == upper) return d;
  return std::nullopt;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Splits at separators, dropping empty and "." elements and resolving ".." lexically.
std::vector<std::wstring> Components(std::wstring_view path, bool allowAboveStart) {
  std::vector<std::wstring> parts;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && IsSeparator(path[i])) ++i;
    size_t j = i;
    while (j < path.size() && !IsSeparator(path[j])) ++j;
    std::wstring_view part = path.substr(i, j - i);
    if (part.empty() || part == L".") {
    } else if (part == L"..") {
      if (!parts.empty() && parts.back() != L"..")
        parts.pop_back();
      else if (allowAboveStart)
        parts.emplace_back(part);
    } else {
      parts.emplace_back(part);
    }
    i = j;
  }
  return parts;
}

}  // namespace

std::vector<Drive> GetDrives() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.drives;
}

std::optional<std::string> ToHostPath(std::wstring_view path) {
  // The long-path prefix "\\?\" is the same path.
  if (path.size() >= 4 && path.substr(0, 4) == L"\\\\?\\") path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == L':') {
    const std::optional<Drive> drive = FindDrive(path[0]);
    if (!drive) return std::nullopt;
    std::string host = drive->root;
    for (const std::wstring& part : Components(path.substr(2), false)) host += "/" + WideToUtf8(part);
    return host.empty() ? std::string("/") : host;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) return std::nullopt;  // UNC
  if (!path.empty() && IsSeparator(path[0])) {
    // The root of the current drive: C: here.
    std::wstring onC = L"C:";
    onC += path;
    return ToHostPath(onC);
  }
  std::string host;
  for (const std::wstring& part : Components(path, true)) {
    if (!host.empty()) host += '/';
    host += WideToUtf8(part);
  }
  return host.empty() ? std::string(".") : host;
}

std::wstring ToDrivePath(std::string_view hostPath) {
  std::string absolute(hostPath);
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return std::wstring();
    absolute = std::string(cwd) + "/" + absolute;
  }
  std::vector<std::wstring> parts = Components(Utf8ToWide(absolute), false);
  const Drive* best = nullptr;
  size_t bestDepth = 0;
  const std::vector<Drive> drives = GetDrives();
  for (const Drive& d : drives) {
    const std::vector<std::wstring> root = Components(Utf8ToWide(d.root), false);
    if (root.size() > parts.size()) continue;
    if (!std::equal(root.begin(), root.end(), parts.begin())) continue;
    if (best == nullptr || root.size() > bestDepth) best = &d, bestDepth = root.size();
  }
  if (best == nullptr) return std::wstring();
  std::wstring out(1, best->letter);
  out += L':';
  for (size_t i = bestDepth; i < parts.size(); ++i) out += L"\\" + parts[i];
  if (bestDepth == parts.size()) out += L"\\";
  return out;
}

std::vector<std::wstring> GetLogicalDriveStrings() {
  std::vector<std::wstring> out;
  for (const Drive& d : GetDrives()) out.push_back(std::wstring(1, d.letter) + L":\\");
  return out;
}

DriveType GetDriveType(std::wstring_view rootPath) {
  if (rootPath.size() < 2 || rootPath[1] != L':') return DRIVE_NO_ROOT_DIR;
  const std::optional<Drive> drive = FindDrive(rootPath[0]);
  return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

void ReloadDrivesForTesting() {
  Table& t = TheTable();
  std::vector<Drive> fresh = LoadTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.drives = std::move(fresh);
}

}  // namespace platform
