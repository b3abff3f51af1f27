#include "platform/file_allocation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/drives.h"
#include "platform/errors.h"

namespace platform {

bool AllocateFileSpace(std::wstring_view path, uint64_t length) {
  const std::optional<std::string> host = ToHostPath(path);
  if (!host) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  if (length > static_cast<uint64_t>(INT64_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (length == 0) return true;
  int fd;
  do {
    fd = ::open(host->c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetLastErrorFromErrno();
    return false;
  }
  int rc;
  do {
    rc = ::fallocate(fd, 0, 0, static_cast<off_t>(length));
  } while (rc != 0 && errno == EINTR);
  const int saved = rc != 0 ? errno : 0;
  ::close(fd);
  if (rc == 0 || saved == EOPNOTSUPP) return true;
  SetLastError(WinErrorFromErrno(saved));
  return false;
}

}  // namespace platform
