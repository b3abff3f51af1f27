#include "platform/registry_store.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <vector>

#include "platform/errors.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/text.h"
#include "platform/text_file.h"

namespace platform {
namespace {

struct Value {
  std::wstring name;  // "" for the default value ("@")
  uint32_t type = REG_NONE;
  std::wstring text;
  uint32_t number = 0;
};

struct Key {
  std::wstring path;  // with its root: "HKEY_LOCAL_MACHINE\SOFTWARE\VelkorLauncher"
  std::vector<Value> values;
};

const wchar_t* RootName(RegistryRoot root) {
  return root == RegistryRoot::kLocalMachine ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER";
}

// "SOFTWARE\\X\\" and "\\SOFTWARE\\X" name the same key as "SOFTWARE\\X".
std::wstring FullKeyPath(RegistryRoot root, std::wstring_view subKey) {
  while (!subKey.empty() && subKey.front() == L'\\') subKey.remove_prefix(1);
  while (!subKey.empty() && subKey.back() == L'\\') subKey.remove_suffix(1);
  std::wstring path = RootName(root);
  if (!subKey.empty()) path += L'\\' + std::wstring(subKey);
  return path;
}

// A quoted string starting at text[*pos] == '"'; *pos moves past the closing quote.
std::optional<std::wstring> ReadQuoted(std::wstring_view text, size_t* pos) {
  std::wstring out;
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (text[i] == L'"') {
      *pos = i + 1;
      return out;
    } else {
      out += text[i];
    }
  }
  return std::nullopt;
}

std::optional<Value> ParseValueLine(std::wstring_view line) {
  Value value;
  size_t pos = 0;
  if (line.front() == L'@') {
    pos = 1;
  } else {
    std::optional<std::wstring> name = ReadQuoted(line, &pos);
    if (!name) return std::nullopt;
    value.name = *name;
  }
  while (pos < line.size() && line[pos] == L' ') ++pos;
  if (pos >= line.size() || line[pos] != L'=') return std::nullopt;
  ++pos;
  while (pos < line.size() && line[pos] == L' ') ++pos;
  const std::wstring_view data = line.substr(pos);
  if (!data.empty() && data.front() == L'"') {
    size_t at = 0;
    std::optional<std::wstring> text = ReadQuoted(data, &at);
    if (!text) return std::nullopt;
    value.type = REG_SZ;
    value.text = *text;
    return value;
  }
  constexpr std::wstring_view kDword = L"dword:";
  if (data.size() > kDword.size() && NamesEqualIgnoringCase(data.substr(0, kDword.size()), kDword)) {
    const std::wstring digits = Trim(data.substr(kDword.size()));
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos)
      return std::nullopt;
    value.type = REG_DWORD;
    value.number = static_cast<uint32_t>(std::wcstoul(digits.c_str(), nullptr, 16));
    return value;
  }
  return std::nullopt;
}

std::vector<Key> ParseStore(std::wstring_view text) {
  std::vector<Key> keys;
  Key* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring_view::npos) end = text.size();
    const std::wstring line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      current = nullptr;
      if (line.back() != L']') continue;
      std::wstring path = line.substr(1, line.size() - 2);
      while (!path.empty() && path.back() == L'\\') path.pop_back();
      auto same = [&path](const Key& k) { return NamesEqualIgnoringCase(k.path, path); };
      auto it = std::find_if(keys.begin(), keys.end(), same);
      current = it != keys.end() ? &*it : &keys.emplace_back(Key{path, {}});
      continue;
    }
    if (current == nullptr || (line.front() != L'"' && line.front() != L'@')) continue;
    std::optional<Value> value = ParseValueLine(line);
    if (!value) continue;
    auto same = [&value](const Value& v) { return NamesEqualIgnoringCase(v.name, value->name); };
    auto it = std::find_if(current->values.begin(), current->values.end(), same);
    if (it != current->values.end()) {
      *it = *value;  // a later line of the same name replaces the earlier one, as an import does
    } else {
      current->values.push_back(*value);
    }
  }
  return keys;
}

std::vector<Key> LoadStore(bool* exists) {
  std::wstring text;
  *exists = ReadTextFile(RegistryStorePath(), &text);
  return *exists ? ParseStore(text) : std::vector<Key>();
}

std::wstring Escape(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out += L'\\';
    out += c;
  }
  return out;
}

uint32_t SaveStore(const std::vector<Key>& keys) {
  std::wstring text = L"REGEDIT4\r\n";
  for (const Key& key : keys) {
    text += L"\r\n[" + key.path + L"]\r\n";
    for (const Value& value : key.values) {
      text += value.name.empty() ? std::wstring(L"@") : L"\"" + Escape(value.name) + L"\"";
      if (value.type == REG_SZ) {
        text += L"=\"" + Escape(value.text) + L"\"\r\n";
      } else {
        wchar_t digits[16];
        std::swprintf(digits, 16, L"%08x", value.number);
        text += L"=dword:" + std::wstring(digits) + L"\r\n";
      }
    }
  }
  const std::wstring path = RegistryStorePath();
  const std::wstring directory = path.substr(0, path.rfind(L'\\'));
  const uint32_t made = CreateDirectoryTree(directory);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) return made;
  const std::wstring temporary = path + L".new";
  FileHandle file = CreateFile(temporary, GENERIC_WRITE, 0, CREATE_ALWAYS, false);
  if (file == kInvalidFile) return GetLastError();
  const std::string bytes = WideToAnsi(text);
  uint32_t written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
  uint32_t error = ok ? ERROR_SUCCESS : GetLastError();
  if (!CloseHandle(file) && ok) {
    ok = false;
    error = GetLastError();
  }
  if (ok && !MoveFileEx(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) DeleteFile(temporary);
  return error;
}

uint32_t SetValue(RegistryRoot root, std::wstring_view subKey, Value value) {
  bool exists = false;
  std::vector<Key> keys = LoadStore(&exists);
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND)
    return GetLastError();  // never replace a store we could not read
  const std::wstring path = FullKeyPath(root, subKey);
  auto key = std::find_if(keys.begin(), keys.end(), [&path](const Key& k) { return NamesEqualIgnoringCase(k.path, path); });
  if (key == keys.end()) key = keys.insert(keys.end(), Key{path, {}});
  auto same = [&value](const Value& v) { return NamesEqualIgnoringCase(v.name, value.name); };
  auto it = std::find_if(key->values.begin(), key->values.end(), same);
  if (it != key->values.end()) {
    *it = std::move(value);
  } else {
    key->values.push_back(std::move(value));
  }
  return SaveStore(keys);
}

}  // namespace

std::wstring RegistryStorePath() { return L"C:\\Windows\\vkqx_registry.reg"; }

uint32_t RegQueryValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName, uint32_t* type,
                       uint8_t* data, uint32_t* dataSize) {
  bool exists = false;
  const std::vector<Key> keys = LoadStore(&exists);
  const std::wstring path = FullKeyPath(root, subKey);
  const Value* found = nullptr;
  for (const Key& key : keys) {
    if (!NamesEqualIgnoringCase(key.path, path)) continue;
    for (const Value& value : key.values)
      if (NamesEqualIgnoringCase(value.name, valueName)) found = &value;
  }
  if (found == nullptr) return ERROR_FILE_NOT_FOUND;
  std::string bytes;
  if (found->type == REG_SZ) {
    AppendUtf16LE(found->text, bytes);
    bytes.append(2, '\0');
  } else {
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((found->number >> shift) & 0xFF);
  }
  if (type != nullptr) *type = found->type;
  const uint32_t capacity = dataSize != nullptr ? *dataSize : 0;
  if (dataSize != nullptr) *dataSize = static_cast<uint32_t>(bytes.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (bytes.size() > capacity) return ERROR_MORE_DATA;
  std::memcpy(data, bytes.data(), bytes.size());
  return ERROR_SUCCESS;
}

bool RegQueryStringValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName, std::wstring* value,
                         uint32_t bufferBytes) {
  std::vector<uint8_t> buffer(bufferBytes);
  uint32_t type = REG_NONE;
  uint32_t size = bufferBytes;
  if (RegQueryValue(root, subKey, valueName, &type, buffer.data(), &size) != ERROR_SUCCESS || type != REG_SZ)
    return false;
  std::wstring text = Utf16LEToWide(buffer.data(), size);
  const size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  *value = std::move(text);
  return true;
}

uint32_t RegSetStringValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName,
                           std::wstring_view value) {
  Value v;
  v.name = std::wstring(valueName);
  v.type = REG_SZ;
  v.text = std::wstring(value);
  return SetValue(root, subKey, std::move(v));
}

uint32_t RegSetDwordValue(RegistryRoot root, std::wstring_view subKey, std::wstring_view valueName, uint32_t value) {
  Value v;
  v.name = std::wstring(valueName);
  v.type = REG_DWORD;
  v.number = value;
  return SetValue(root, subKey, std::move(v));
}

}  // namespace platform
