#include "uitoolkit/skin/SkinArchive.h"

#include <zip.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace ui {
namespace {

constexpr uint64_t kMaxEntryBytes = 64u << 20;  // no skin file comes near this; a bomb does

class ZipSkin : public SkinArchive {
 public:
  explicit ZipSkin(std::string bytes) : m_bytes(std::move(bytes)) {}
  ~ZipSkin() override {
    if (m_zip) zip_discard(m_zip);
  }

  bool Open(std::string* error) {
    // libzip reads no bytes at all as an empty archive; for a skin that is no archive.
    if (m_bytes.empty()) {
      if (error) *error = "no bytes";
      return false;
    }
    zip_error_t zerr;
    zip_error_init(&zerr);
    zip_source_t* source = zip_source_buffer_create(m_bytes.data(), m_bytes.size(), 0, &zerr);
    if (source) m_zip = zip_open_from_source(source, ZIP_RDONLY, &zerr);
    if (!m_zip) {
      if (error) *error = zip_error_strerror(&zerr);
      if (source) zip_source_free(source);
      zip_error_fini(&zerr);
      return false;
    }
    zip_error_fini(&zerr);
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      const char* name = zip_get_name(m_zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
      if (name) m_index.emplace(NormaliseSkinName(platform::Utf8ToWide(name)), static_cast<zip_uint64_t>(i));
    }
    return true;
  }

  bool Read(const std::wstring& name, std::string* bytes) override {
    auto it = m_index.find(NormaliseSkinName(name));
    if (it == m_index.end()) return false;
    zip_stat_t st;
    if (zip_stat_index(m_zip, it->second, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || st.size > kMaxEntryBytes)
      return false;
    zip_file_t* file = zip_fopen_index(m_zip, it->second, 0);
    if (!file) return false;
    bytes->assign(static_cast<size_t>(st.size), '\0');
    const zip_int64_t got = zip_fread(file, bytes->data(), st.size);
    zip_fclose(file);
    if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) {
      bytes->clear();
      return false;
    }
    return true;
  }

 private:
  std::string m_bytes;  // the archive reads from this buffer for as long as it is open
  zip_t* m_zip = nullptr;
  std::map<std::wstring, zip_uint64_t> m_index;
};

class FolderSkin : public SkinArchive {
 public:
  explicit FolderSkin(std::filesystem::path root) : m_root(std::move(root)) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(m_root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_regular_file(ec)) continue;
      const std::string relative = std::filesystem::relative(it->path(), m_root, ec).generic_string();
      m_index.emplace(NormaliseSkinName(platform::Utf8ToWide(relative)), it->path());
    }
  }

  bool Read(const std::wstring& name, std::string* bytes) override {
    auto it = m_index.find(NormaliseSkinName(name));
    if (it == m_index.end()) return false;
    std::ifstream in(it->second, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    *bytes = std::move(out).str();
    return true;
  }

 private:
  std::filesystem::path m_root;
  std::map<std::wstring, std::filesystem::path> m_index;
};

}  // namespace

SkinArchive::SkinArchive() : m_images(this) {}
SkinArchive::~SkinArchive() = default;

std::wstring NormaliseSkinName(const std::wstring& name) {
  std::wstring out;
  out.reserve(name.size());
  for (wchar_t c : name) out.push_back(c == L'\\' ? L'/' : static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))));
  while (out.starts_with(L"./")) out.erase(0, 2);
  while (out.starts_with(L"/")) out.erase(0, 1);
  return out;
}

std::unique_ptr<SkinArchive> SkinArchive::FromZipBytes(std::string bytes, std::string* error) {
  // The archive reads from the object's own copy of the bytes, for as long as it is open.
  auto skin = std::make_unique<ZipSkin>(std::move(bytes));
  if (!skin->Open(error)) return nullptr;
  return skin;
}

std::unique_ptr<SkinArchive> SkinArchive::FromPath(const std::string& path, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return std::unique_ptr<SkinArchive>(new FolderSkin(path));
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return nullptr;
  }
  std::ostringstream out;
  out << in.rdbuf();
  return FromZipBytes(std::move(out).str(), error);
}

}  // namespace ui
