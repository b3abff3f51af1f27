// vkinstaller.exe: the installer package the installer downloads and runs. A stub program with a
// zip archive behind it (PackageFormat.h); started as
//
//   vkinstaller.exe /S "/unpack=<directory>" /launch=off
//
// it unpacks the archive into the directory (a drive path, mapped through the drive table like
// every path of the system) and, unless told /launch=off, starts VelkorLauncher.exe from there
// without waiting. Options are case-insensitive:
//   /S              silent: nothing is printed unless something fails
//   /unpack=DIR     where to unpack (required, once)
//   /launch=on|off  whether to start the launcher afterwards (default on)
// Every file is written under a temporary name and renamed into place, so an interrupted unpack
// never leaves a half-written file under its real name.
// Exit codes: 0 unpacked, 1 the archive could not be read or a file not written, 2 bad arguments.
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/text.h"
#include "tools/package/PackageFormat.h"

namespace {

namespace fs = std::filesystem;

constexpr const wchar_t* kLauncherName = L"VelkorLauncher.exe";

struct Options {
  bool silent = false;
  bool launch = true;
  std::optional<std::string> unpackDir;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

void PrintUsage() {
  std::cerr << "usage: vkinstaller.exe [/S] \"/unpack=<directory>\" [/launch=on|off]\n";
}

// Empty when the arguments are good, else the complaint.
std::string ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t eq = arg.find('=');
    const std::string name = Lower(arg.substr(0, eq));
    const std::string value = eq == std::string::npos ? std::string() : arg.substr(eq + 1);
    if (name == "/s" && eq == std::string::npos) {
      options->silent = true;
    } else if (name == "/unpack" && eq != std::string::npos) {
      if (options->unpackDir) return "/unpack given twice";
      if (value.empty()) return "/unpack needs a directory";
      options->unpackDir = value;
    } else if (name == "/launch" && eq != std::string::npos) {
      const std::string v = Lower(value);
      if (v != "on" && v != "off") return "/launch takes on or off, not \"" + value + "\"";
      options->launch = v == "on";
    } else {
      return "unknown option \"" + arg + "\"";
    }
  }
  if (!options->unpackDir) return "/unpack=<directory> is required";
  return std::string();
}

// Names from the archive must stay inside the target directory.
bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = name.find('/', start);
    const std::string element = name.substr(start, end - start);
    if (element == "." || element == ".." || (element.empty() && end != std::string::npos)) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

class Unpacker {
 public:
  explicit Unpacker(bool silent) : m_silent(silent) {}
  ~Unpacker() {
    if (m_archive != nullptr) zip_discard(m_archive);
  }

  bool Open(const fs::path& self) {
    std::ifstream in(self, std::ios::binary);
    std::error_code error;
    const uint64_t size = fs::file_size(self, error);
    unsigned char bytes[vkpkg::kTrailerSize];
    vkpkg::Trailer trailer;
    if (!in || error || size < vkpkg::kTrailerSize ||
        !in.seekg(static_cast<std::streamoff>(size - vkpkg::kTrailerSize)) ||
        !in.read(reinterpret_cast<char*>(bytes), sizeof bytes) || !vkpkg::DecodeTrailer(bytes, size, &trailer))
      return Fail("no package archive in " + self.string());
    zip_error_t zerror;
    zip_error_init(&zerror);
    zip_source_t* source = zip_source_file_create(self.c_str(), trailer.offset,
                                                  static_cast<zip_int64_t>(trailer.length), &zerror);
    if (source != nullptr) {
      m_archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zerror);
      if (m_archive == nullptr) zip_source_free(source);
    }
    const std::string reason = zip_error_strerror(&zerror);
    zip_error_fini(&zerror);
    return m_archive != nullptr || Fail("the package archive is damaged: " + reason);
  }

  bool UnpackTo(const fs::path& target) {
    std::error_code error;
    fs::create_directories(target, error);
    if (error) return Fail("cannot create " + target.string() + ": " + error.message());
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
      if (!UnpackEntry(static_cast<zip_uint64_t>(i), target)) return false;
    }
    if (!m_silent) std::cout << "vkinstaller: unpacked " << m_files << " files into " << target.string() << "\n";
    return true;
  }

 private:
  bool Fail(const std::string& message) {
    std::cerr << "vkinstaller: " << message << "\n";
    return false;
  }

  bool UnpackEntry(zip_uint64_t index, const fs::path& target) {
    const char* rawName = zip_get_name(m_archive, index, ZIP_FL_ENC_GUESS);
    const std::string name = rawName != nullptr ? rawName : "";
    if (!IsSafeEntryName(name)) return Fail("refusing the archive entry \"" + name + "\"");
    const fs::path path = target / fs::path(name).lexically_normal();
    std::error_code error;
    if (name.back() == '/') {
      fs::create_directories(path, error);
      return !error || Fail("cannot create " + path.string() + ": " + error.message());
    }
    fs::create_directories(path.parent_path(), error);
    if (error) return Fail("cannot create " + path.parent_path().string() + ": " + error.message());

    const fs::path part = path.string() + ".vkpart";
    zip_file_t* entry = zip_fopen_index(m_archive, index, 0);
    if (entry == nullptr) return Fail("cannot read " + name + " from the archive");
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    char buffer[65536];
    zip_int64_t n = 0;
    while (out && (n = zip_fread(entry, buffer, sizeof buffer)) > 0) out.write(buffer, n);
    zip_fclose(entry);
    out.close();
    if (n < 0 || !out) {
      fs::remove(part, error);
      return Fail("cannot write " + path.string());
    }
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(m_archive, index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX && (attributes >> 16) != 0)
      fs::permissions(part, static_cast<fs::perms>((attributes >> 16) & 0777), error);
    fs::rename(part, path, error);
    if (error) {
      fs::remove(part, error);
      return Fail("cannot put " + path.string() + " in place");
    }
    ++m_files;
    if (!m_silent) std::cout << "  " << name << "\n";
    return true;
  }

  bool m_silent;
  zip_t* m_archive = nullptr;
  int m_files = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const std::string complaint = ParseOptions(argc, argv, &options); !complaint.empty()) {
    std::cerr << "vkinstaller: " << complaint << "\n";
    PrintUsage();
    return 2;
  }
  const std::wstring dir = platform::Utf8ToWide(*options.unpackDir);
  const std::optional<std::string> hostDir = platform::ToHostPath(dir);
  if (!hostDir) {
    std::cerr << "vkinstaller: \"" << *options.unpackDir << "\" is on no drive\n";
    PrintUsage();
    return 2;
  }
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  Unpacker unpacker(options.silent);
  if (error || !unpacker.Open(self) || !unpacker.UnpackTo(*hostDir)) return 1;

  if (options.launch) {
    platform::ProcessStartup startup;
    startup.application = dir + L"\\" + kLauncherName;
    if (!platform::Process::Create(startup))
      std::cerr << "vkinstaller: the launcher did not start (error " << platform::GetLastError() << ")\n";
  }
  return 0;
}
