#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>

#include "platform/errors.h"
#include "platform/file_path.h"
#include "platform/file_share.h"

namespace platform {

struct FileObject {
  int fd = -1;
  int lockFd = -1;  // fd itself, or a second read-only description when fd cannot read
  uint32_t access = 0;

  bool CanRead() const { return (access & GENERIC_READ) != 0; }
  bool CanWrite() const { return (access & GENERIC_WRITE) != 0; }
};

namespace {

int OpenFlagsFor(uint32_t access, bool inheritable) {
  int flags = O_NOCTTY;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
    flags |= O_RDWR;
  else if (access & GENERIC_WRITE)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;  // read, or no access at all (attribute queries)
  if (!inheritable) flags |= O_CLOEXEC;
  return flags;
}

int RetryOpen(const std::string& host, int flags) {
  int fd;
  do {
    fd = ::open(host.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

struct Opened {
  int fd = -1;
  bool existed = false;
};

// Opens according to the disposition, never truncating: truncation waits until sharing and the
// read-only attribute have been checked, so that a refused open leaves the contents alone.
std::optional<Opened> OpenForDisposition(const std::string& host, int flags, CreationDisposition disposition) {
  const bool mayCreate = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  if (!mayCreate) {
    const int fd = RetryOpen(host, flags);
    if (fd < 0) {
      SetLastErrorForPath(errno, host);
      return std::nullopt;
    }
    return Opened{fd, true};
  }
  // Creating first tells whether the file was there; a file deleted in between is created anew.
  for (int attempt = 0; attempt < 8; ++attempt) {
    int fd = RetryOpen(host, flags | O_CREAT | O_EXCL);
    if (fd >= 0) return Opened{fd, false};
    if (errno != EEXIST) {
      SetLastErrorForPath(errno, host);
      return std::nullopt;
    }
    if (disposition == CREATE_NEW) {
      SetLastError(ERROR_FILE_EXISTS);
      return std::nullopt;
    }
    fd = RetryOpen(host, flags);
    if (fd >= 0) return Opened{fd, true};
    if (errno != ENOENT) {
      SetLastErrorForPath(errno, host);
      return std::nullopt;
    }
  }
  SetLastError(ERROR_SHARING_VIOLATION);
  return std::nullopt;
}

// A readable description of the same open file, for the share locks of a write-only handle.
int ReadableTwin(int fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return RetryOpen(self, O_RDONLY | O_CLOEXEC | O_NOCTTY);
}

bool Fail(uint32_t error) {
  SetLastError(error);
  return false;
}

bool IsOpen(FileHandle file) { return file != kInvalidFile && file->fd >= 0; }

// Repeats `step(done)`, which moves bytes from offset `done` on and answers like read(2) or
// write(2), until `count` bytes are moved, a step moves nothing or one fails with more than
// EINTR. Moving nothing ends a read (the end of the file) and fails a write, which must never
// look complete when it is not. `*moved` says how far it got in every case.
enum class Direction { kRead, kWrite };
template <typename Step>
bool MoveAll(Direction direction, uint32_t count, uint32_t* moved, Step step) {
  uint32_t done = 0;
  while (done < count) {
    const ssize_t n = step(done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (moved) *moved = done;
      return Fail(WinErrorFromErrno(errno));
    }
    if (n == 0) {
      if (direction == Direction::kRead) break;
      if (moved) *moved = done;
      return Fail(ERROR_WRITE_FAULT);
    }
    done += static_cast<uint32_t>(n);
  }
  if (moved) *moved = done;
  return true;
}

}  // namespace

FileHandle CreateFile(std::wstring_view path, uint32_t access, uint32_t share, CreationDisposition disposition,
                      bool inheritable) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return kInvalidFile;
  const std::optional<Opened> opened = OpenForDisposition(*host, OpenFlagsFor(access, inheritable), disposition);
  if (!opened) return kInvalidFile;

  auto file = std::make_unique<FileObject>();
  file->fd = opened->fd;
  file->access = access;
  auto fail = [&](uint32_t error) {
    if (file->lockFd >= 0 && file->lockFd != file->fd) ::close(file->lockFd);
    ::close(file->fd);
    SetLastError(error);
    return kInvalidFile;
  };

  struct stat st {};
  if (::fstat(file->fd, &st) != 0) return fail(WinErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
  const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  const bool readOnlyAttribute = S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
  if (opened->existed && readOnlyAttribute && (file->CanWrite() || truncates)) return fail(ERROR_ACCESS_DENIED);

  file->lockFd = (file->CanRead() || !file->CanWrite()) ? file->fd : ReadableTwin(file->fd);
  if (file->lockFd >= 0 && S_ISREG(st.st_mode) && !AcquireShareLocks(file->lockFd, access, share))
    return fail(ERROR_SHARING_VIOLATION);

  if (truncates && opened->existed && st.st_size != 0 && ::ftruncate(file->fd, 0) != 0)
    return fail(WinErrorFromErrno(errno));
  // As on Windows, a successful open that found the file says so in the last error.
  SetLastError((disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) && opened->existed ? ERROR_ALREADY_EXISTS
                                                                                              : ERROR_SUCCESS);
  return file.release();
}

bool ReadFile(FileHandle file, void* buffer, uint32_t count, uint32_t* read) {
  if (read) *read = 0;
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!file->CanRead()) return Fail(ERROR_ACCESS_DENIED);
  return MoveAll(Direction::kRead, count, read, [&](uint32_t done) {
    return ::read(file->fd, static_cast<char*>(buffer) + done, count - done);
  });
}

bool WriteFile(FileHandle file, const void* data, uint32_t count, uint32_t* written) {
  if (written) *written = 0;
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  return MoveAll(Direction::kWrite, count, written, [&](uint32_t done) {
    return ::write(file->fd, static_cast<const char*>(data) + done, count - done);
  });
}

bool ReadFileAt(FileHandle file, uint64_t offset, void* buffer, uint32_t count, uint32_t* read) {
  if (read) *read = 0;
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!file->CanRead()) return Fail(ERROR_ACCESS_DENIED);
  if (offset > static_cast<uint64_t>(INT64_MAX)) return Fail(ERROR_INVALID_PARAMETER);
  return MoveAll(Direction::kRead, count, read, [&](uint32_t done) {
    return ::pread(file->fd, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
  });
}

bool WriteFileAt(FileHandle file, uint64_t offset, const void* data, uint32_t count, uint32_t* written) {
  if (written) *written = 0;
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  if (offset > static_cast<uint64_t>(INT64_MAX) - count) return Fail(ERROR_INVALID_PARAMETER);
  return MoveAll(Direction::kWrite, count, written, [&](uint32_t done) {
    return ::pwrite(file->fd, static_cast<const char*>(data) + done, count - done, static_cast<off_t>(offset + done));
  });
}

bool SetFilePointer(FileHandle file, int64_t distance, SeekOrigin origin, uint64_t* newPosition) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  int64_t base = 0;
  if (origin == FILE_CURRENT) {
    base = ::lseek(file->fd, 0, SEEK_CUR);
  } else if (origin == FILE_END) {
    struct stat st {};
    base = ::fstat(file->fd, &st) == 0 ? st.st_size : -1;
  } else if (origin != FILE_BEGIN) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (base < 0) return Fail(WinErrorFromErrno(errno));
  int64_t target = 0;
  if (__builtin_add_overflow(base, distance, &target)) return Fail(ERROR_INVALID_PARAMETER);
  if (target < 0) return Fail(ERROR_NEGATIVE_SEEK);
  if (::lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) return Fail(WinErrorFromErrno(errno));
  if (newPosition) *newPosition = static_cast<uint64_t>(target);
  return true;
}

bool GetFileSize(FileHandle file, uint64_t* size) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  struct stat st {};
  if (::fstat(file->fd, &st) != 0) return Fail(WinErrorFromErrno(errno));
  if (size) *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool SetEndOfFile(FileHandle file) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  const off_t position = ::lseek(file->fd, 0, SEEK_CUR);
  if (position < 0) return Fail(WinErrorFromErrno(errno));
  int rc;
  do {
    rc = ::ftruncate(file->fd, position);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return Fail(WinErrorFromErrno(errno));
  return true;
}

bool FlushFileBuffers(FileHandle file) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
  if (::fsync(file->fd) != 0 && errno != EINVAL) return Fail(WinErrorFromErrno(errno));
  return true;
}

bool TryLockFile(FileHandle file) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  int rc;
  do {
    rc = ::flock(file->fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return Fail(errno == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : WinErrorFromErrno(errno));
  return true;
}

bool IsSameFile(FileHandle file, std::wstring_view path) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return false;
  struct stat mine {};
  struct stat named {};
  if (::fstat(file->fd, &mine) != 0 || ::stat(host->c_str(), &named) != 0) return false;
  return mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

bool CloseHandle(FileHandle file) {
  if (!IsOpen(file)) return Fail(ERROR_INVALID_HANDLE);
  std::unique_ptr<FileObject> owned(file);
  if (owned->lockFd >= 0 && owned->lockFd != owned->fd) ::close(owned->lockFd);
  // The descriptor is gone after close() whatever it reports, EINTR included.
  if (::close(owned->fd) != 0 && errno != EINTR) return Fail(WinErrorFromErrno(errno));
  return true;
}

FILE* OpenCFile(std::wstring_view path, const char* mode) {
  const std::optional<std::string> host = ResolveHostPath(path);
  if (!host) return nullptr;
  struct stat st {};
  if (::stat(host->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  FILE* stream = std::fopen(host->c_str(), mode);
  if (stream == nullptr) SetLastErrorForPath(errno, *host);
  return stream;
}

}  // namespace platform
