#include "platform/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/errors.h"
#include "platform/text.h"

namespace platform {
namespace {

// Makes (or accepts) a directory that only we can write into: a name someone else can
// pre-create or swap would let them hold ours.
bool EnsurePrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 0022) != 0) {
    errno = EACCES;
    return false;
  }
  return true;
}

std::string NamesDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string base = runtime && *runtime ? std::string(runtime)
                                         : "/tmp/vkqx-" + std::to_string(::getuid());
  if (!runtime || !*runtime) {
    if (!EnsurePrivateDirectory(base)) return {};
  }
  std::string dir = base + "/vkqx-names";
  return EnsurePrivateDirectory(dir) ? dir : std::string();
}

// Any character may appear in a name; those that could not stand in a file name are escaped.
std::string FileNameFor(std::wstring_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : WideToUtf8(name)) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
        c == '-' || c == '.' || c >= 0x80) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + ".lock";
}

}  // namespace

std::unique_ptr<NamedMutex> NamedMutex::Create(std::wstring_view name) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  const std::string dir = NamesDirectory();
  if (dir.empty()) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  const std::string path = dir + "/" + FileNameFor(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    SetLastErrorFromErrno();
    return nullptr;
  }
  // A lock belongs to this open file description: the kernel drops it when the process ends,
  // and a second open in this same process conflicts with it as another process would.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error != EWOULDBLOCK) {
      SetLastError(WinErrorFromErrno(error));
      return nullptr;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return std::unique_ptr<NamedMutex>(new NamedMutex(-1));
  }
  SetLastError(ERROR_SUCCESS);
  return std::unique_ptr<NamedMutex>(new NamedMutex(fd));
}

NamedMutex::~NamedMutex() {
  if (m_fd >= 0) ::close(m_fd);
}

}  // namespace platform
