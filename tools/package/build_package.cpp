// Builds the self-extracting package (PackageFormat.h) at build time:
//
//   vkpkg_build STUB OUT MD5FILE NAME=PATH...
//
// zips each PATH under the archive name NAME (its Unix mode kept, its time fixed so that the same
// inputs give the same bytes), writes STUB, the archive and the trailer to OUT, and writes the
// package's MD5 to MD5FILE in md5sum's format ("<32 hex digits>  <file name>").
#include <zip.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "commonlib/util/MD5.h"
#include "tools/package/PackageFormat.h"

namespace {

namespace fs = std::filesystem;

// 2020-01-01 00:00 UTC.
constexpr time_t kFixedTime = 1577836800;

bool Fail(const std::string& message) {
  std::cerr << "vkpkg_build: " << message << "\n";
  return false;
}

bool ReadAll(const fs::path& path, std::string* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return static_cast<bool>(in) || in.eof();
}

bool WriteZip(const fs::path& zipPath, const std::vector<std::pair<std::string, fs::path>>& entries) {
  int error = 0;
  zip_t* archive = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return Fail("cannot create " + zipPath.string());
  for (const auto& [name, path] : entries) {
    struct stat st {};
    zip_source_t* source = ::stat(path.c_str(), &st) == 0 ? zip_source_file(archive, path.c_str(), 0, -1) : nullptr;
    const zip_int64_t index = source != nullptr ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (source != nullptr) zip_source_free(source);
      zip_discard(archive);
      return Fail("cannot add " + path.string());
    }
    const auto i = static_cast<zip_uint64_t>(index);
    zip_file_set_external_attributes(archive, i, 0, ZIP_OPSYS_UNIX, static_cast<zip_uint32_t>(st.st_mode & 0777) << 16);
    zip_file_set_mtime(archive, i, kFixedTime, 0);
  }
  return zip_close(archive) == 0 || (zip_discard(archive), Fail("cannot write " + zipPath.string()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::cerr << "usage: vkpkg_build STUB OUT MD5FILE NAME=PATH...\n";
    return 2;
  }
  const fs::path stub = argv[1], out = argv[2], md5File = argv[3];
  std::vector<std::pair<std::string, fs::path>> entries;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) {
      std::cerr << "vkpkg_build: \"" << arg << "\" is not NAME=PATH\n";
      return 2;
    }
    entries.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
  }

  const fs::path zipPath = out.string() + ".zip.tmp", partPath = out.string() + ".tmp";
  std::string stubBytes, zipBytes;
  if (!ReadAll(stub, &stubBytes)) return Fail("cannot read " + stub.string()), 1;
  if (!WriteZip(zipPath, entries) || !ReadAll(zipPath, &zipBytes)) return 1;
  std::error_code error;
  fs::remove(zipPath, error);

  unsigned char trailer[vkpkg::kTrailerSize];
  vkpkg::EncodeTrailer({stubBytes.size(), zipBytes.size()}, trailer);
  std::string package = stubBytes + zipBytes;
  package.append(reinterpret_cast<const char*>(trailer), sizeof trailer);
  {
    std::ofstream file(partPath, std::ios::binary | std::ios::trunc);
    file.write(package.data(), static_cast<std::streamsize>(package.size()));
    if (!file) return Fail("cannot write " + partPath.string()), 1;
  }
  fs::permissions(partPath, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec, error);
  fs::rename(partPath, out, error);
  if (error) return Fail("cannot put " + out.string() + " in place"), 1;

  MD5 digest(package.data(), package.size());
  std::ofstream sum(md5File, std::ios::trunc);
  sum << digest.hex_digest() << "  " << out.filename().string() << "\n";
  return sum ? 0 : (Fail("cannot write " + md5File.string()), 1);
}
