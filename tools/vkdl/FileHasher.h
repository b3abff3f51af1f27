// The MD5 of a file that is still being written, computed behind the writer: the owner says how
// far from the start the file is final (Advance), a worker thread hashes up to there, and Finish
// hashes the rest. So the check at the end costs the last few blocks, not the whole file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "commonlib/thread/SimpleThread.h"
#include "commonlib/util/MD5.h"
#include "platform/file.h"

class CFileHasher : public CSimpleThread {
 public:
  CFileHasher() = default;
  ~CFileHasher() override;

  // Opens `path` for reading and starts hashing behind Advance. False when it cannot be opened.
  bool Begin(const std::wstring& path);
  bool Begun() const { return m_file != platform::kInvalidFile; }
  // Whether the file being hashed is the one at `path` now.
  bool Follows(const std::wstring& path) const { return Begun() && platform::IsSameFile(m_file, path); }
  // The first `limit` bytes are final. Never moves back.
  void Advance(uint64_t limit);
  // Hashes up to `size` bytes and returns the 32 hex digits; empty when the file could not be read
  // that far.
  std::string Finish(uint64_t size);

 protected:
  void Run() override;

 private:
  platform::FileHandle m_file = platform::kInvalidFile;
  std::atomic<uint64_t> m_limit{0};
  std::atomic<bool> m_finishing{false};
  std::mutex m_mutex;
  std::condition_variable m_changed;  // the worker waits for a new limit; Finish for the end
  bool m_ended = false;               // under m_mutex
  bool m_failed = false;              // under m_mutex
  uint64_t m_hashed = 0;              // worker only until m_ended
  MD5 m_md5;
};
