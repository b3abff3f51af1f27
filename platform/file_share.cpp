#include "platform/file_share.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errors.h"
#include "platform/file.h"

namespace platform {
namespace {

// Far past any file this system writes, and below the largest offset every file system accepts.
constexpr off_t kLockBase = static_cast<off_t>(0x3fffffff00000000LL);
enum LockByte : off_t { kHasRead, kHasWrite, kDenyRead, kDenyWrite, kDenyDelete };

enum class LockResult { kTaken, kUnsupported };

LockResult TakeShared(int fd, LockByte byte) {
  struct flock fl {};
  fl.l_type = F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + byte;
  fl.l_len = 1;
  while (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return LockResult::kUnsupported;
  }
  return LockResult::kTaken;
}

// Whether another open file description holds a lock on the byte.
bool HeldByOther(int fd, LockByte byte) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + byte;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

}  // namespace

bool AcquireShareLocks(int lockFd, uint32_t access, uint32_t share) {
  const bool reads = (access & GENERIC_READ) != 0;
  const bool writes = (access & GENERIC_WRITE) != 0;
  const bool deniesRead = (share & FILE_SHARE_READ) == 0;
  const bool deniesWrite = (share & FILE_SHARE_WRITE) == 0;
  const bool deniesDelete = (share & FILE_SHARE_DELETE) == 0;

  const std::pair<bool, LockByte> mine[] = {
      {reads, kHasRead}, {writes, kHasWrite}, {deniesRead, kDenyRead}, {deniesWrite, kDenyWrite},
      {deniesDelete, kDenyDelete}};
  for (const auto& [wanted, byte] : mine) {
    if (wanted && TakeShared(lockFd, byte) == LockResult::kUnsupported) return true;
  }

  const std::pair<bool, LockByte> conflicts[] = {
      {reads, kDenyRead}, {writes, kDenyWrite}, {deniesRead, kHasRead}, {deniesWrite, kHasWrite}};
  for (const auto& [check, byte] : conflicts) {
    if (check && HeldByOther(lockFd, byte)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return false;
    }
  }
  return true;
}

bool IsHeldWithoutDeleteSharing(const std::string& hostPath) {
  const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  const bool held = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && HeldByOther(fd, kDenyDelete);
  ::close(fd);
  return held;
}

}  // namespace platform
