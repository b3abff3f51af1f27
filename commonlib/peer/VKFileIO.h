// The download's temporary data file and its per-block writers.
//
// CDownloadDataFile is the data file opened once per task run; every block writer of the task
// shares it and writes with positioned writes, so writers never share a file position and no lock
// is taken around a write. CVKDownloadFileIO is the response-body sink of one block request: it
// writes only inside the bytes it was opened for, and only after the response that carries them has
// been accepted, so that a server answering with the wrong bytes (a 200 to a range request, a wrong
// Content-Range, a body longer than the block) can never change a byte outside the block nor put
// bytes of the wrong offset into it.
//
// Threads: a writer is opened, accepted-or-not, closed and deleted under the transfer's rules:
// open and Close on the main thread, AcceptResponse, Dispose and Write on the transfer thread. The
// writer's state is guarded by its own mutex (never contended but by a Close racing a Write); once
// Close has returned no byte of it reaches the file. The data file's handle is reference counted:
// it stays valid while any writer or the task holds it, and it is closed when the last one lets go.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "commonlib/core/BaseStream.h"
#include "commonlib/core/ProtoValue.h"
#include "commonlib/thread/RefPtr.h"
#include "platform/file.h"

// The engine's own error codes (error type 3) that the writer records.
inline constexpr int32_t DL_ERROR_NO_FILE = 2001;        // a write without an open file
inline constexpr int32_t DL_ERROR_NO_RANGE = 2008;       // a range request answered with 200 (type 4)
inline constexpr int32_t DL_ERROR_LENGTH = 2009;         // the body does not fit the block
inline constexpr int32_t DL_ERROR_NOT_ACCEPTED = 2010;   // body bytes of a response not accepted
inline constexpr int32_t DL_ERROR_OTHER_FILE = 2011;     // Content-Range gives another file size

class CDownloadDataFile : public CRefThreadSafeBase<CDownloadDataFile> {
 public:
  // Opens (or creates, never truncating) the data file for reading and writing. Null on failure,
  // with the system error in `*error`.
  static CRefPtr<CDownloadDataFile> Open(const std::wstring& path, uint32_t* error);

  // Writes all of `data` at `offset`. Any thread. False with the system error on failure.
  bool WriteAt(uint64_t offset, const void* data, uint32_t count, uint32_t* error);
  // Flushes written data to the device.
  bool Flush();
  // Whether the file written is still the one at its path (not removed or replaced meanwhile).
  bool IsAtPath() const;
  const std::wstring& Path() const { return m_path; }

 private:
  friend class CRefThreadSafeBase<CDownloadDataFile>;
  CDownloadDataFile(std::wstring path, platform::FileHandle handle) : m_path(std::move(path)), m_handle(handle) {}
  ~CDownloadDataFile();

  const std::wstring m_path;
  const platform::FileHandle m_handle;
};

// Creates the data file with `size` bytes of space reserved on the volume (so that a full disk is
// found now, not in the middle of the download); an existing file keeps its bytes up to `size`.
// Logs and returns false on failure, with the system error in `*error` when given.
bool CreateEmptyFile(const std::wstring& path, uint64_t size, uint32_t* error = nullptr);

class CVKDownloadFileIO : public OBaseStream {
 public:
  CVKDownloadFileIO() = default;
  ~CVKDownloadFileIO() override;
  CVKDownloadFileIO(const CVKDownloadFileIO&) = delete;
  CVKDownloadFileIO& operator=(const CVKDownloadFileIO&) = delete;

  // Main thread. Prepares the writer for the bytes [position, end] of `file`: the first accepted
  // body byte goes to `position`, and nothing is ever written past `end`. `rangeRequested` tells
  // whether the request asks for a range (so a 200 answer is refused). Closes a previous opening
  // first. False with (3, 2001) when there is no file or the range is empty.
  bool open(CRefPtr<CDownloadDataFile> file, uint64_t position, uint64_t end, bool rangeRequested);
  // Main thread, after open. The size of the whole file: a 206 whose Content-Range gives another
  // total (the file changed on the server) is refused with (3, 2011). 0 checks nothing.
  void SetFileSize(uint64_t size);

  // Transfer thread, at the end of each response's header block, before its body. A 206 whose
  // Content-Range starts at the writer's position and ends inside the block, or a 200 to a request
  // without a range, opens the gate for the body; a redirect keeps it shut for the next response;
  // anything else shuts it for good with the reason kept as the writer's error ((4, 2008) for a
  // 200 to a range request, (3, 2009) for a range that does not fit, (4, status) for an error
  // status). Returns false when the response is refused.
  bool AcceptResponse(int httpCode, std::wstring_view contentRange);
  // The same with the response's header map (names compared without regard to case).
  bool AcceptResponseHeaders(int httpCode, const ProtoValue& headers);

  // Transfer thread. Writes `count` bytes at the next offset: returns `count`, or -1 when the file
  // is closed (3, 2001), the response was not accepted (its reason, or (3, 2010)), the bytes would
  // pass the block's end (3, 2009; nothing of them is written), or the system refused (1, error).
  int Write(const void* data, size_t count) override;
  // Main thread. After it returns nothing more is written; the data file is released.
  void Close() override;
  // Transfer thread, when a range request is answered in full: the body is for offset 0, not for
  // this block, so no byte of it may be written. Shuts the gate for good with (4, 2008).
  void Dispose() override;

  // Bytes written by this writer so far; any thread.
  uint64_t BytesWritten() const { return m_written.load(std::memory_order_acquire); }
  // The writer's error as (type, code), read under the writer's lock; any thread.
  void GetError(int32_t* kind, int32_t* code) const;

 private:
  enum class Gate { kWaiting, kOpen, kShut };

  void FailLocked(int32_t kind, int32_t code);

  mutable std::mutex m_mutex;
  CRefPtr<CDownloadDataFile> m_file;
  uint64_t m_start = 0;  // where the first body byte goes
  uint64_t m_next = 0;
  uint64_t m_end = 0;  // inclusive
  uint64_t m_fileSize = 0;  // 0: not checked
  bool m_rangeRequested = true;
  Gate m_gate = Gate::kWaiting;
  std::atomic<uint64_t> m_written{0};
};

// Parses "bytes first-last/total" (total may be "*", given as 0). False for anything else.
bool ParseContentRange(std::wstring_view text, uint64_t* first, uint64_t* last, uint64_t* total = nullptr);
