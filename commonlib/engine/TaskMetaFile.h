// CTaskMetaFile: the resume state of a download, kept beside its data file as the binary form of
// one ProtoValue map ("ft", "fs", "fh", "ps", "ct", "is_cdn", "gl", "log").
//
// A save writes the whole map into the backup file (meta path + ".mbk") and then moves the backup
// over the meta file, so the meta file is always either the previous or the new content. A load
// reads the meta file and, when it is missing, empty or torn, the backup. Nothing read from the
// file is trusted until Decode has checked every value's kind and range and that the file belongs
// to the present download (same size and hash); any doubt means a fresh start.
//
// No fsync: a killed process leaves its written data in the page cache, which the kernel writes
// out, so the order data-then-meta holds. After a power loss the caller's hash check catches a data
// file whose last bytes never reached the disk (docs/DESIGN.md).
//
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "commonlib/core/FileEx.h"
#include "commonlib/core/ProtoValue.h"
#include "commonlib/engine/RangeList.h"
#include "commonlib/engine/TaskLog.h"

// The meta file's content, checked and typed.
struct TaskMetaData {
  int64_t fileTime = 0;   // "ft": last-write time of the data file, seconds since 1970
  int64_t fileSize = 0;   // "fs"
  std::wstring fileHash;  // "fh"
  int64_t p2pBytes = 0;   // "ps"
  int64_t elapsedMs = 0;  // "ct": download time of all runs so far
  bool usedCdn = false;   // "is_cdn"
  RangeList gaps;         // "gl": the bytes not yet on disk, in list order
  TaskLogSnapshot log;    // "log" (filled by Decode; Encode reads the live record)
};

class CTaskMetaFile {
 public:
  CTaskMetaFile() = default;
  CTaskMetaFile(const CTaskMetaFile&) = delete;
  CTaskMetaFile& operator=(const CTaskMetaFile&) = delete;

  // Reads the meta file at `path` (or its backup when the meta file is unusable) into the map.
  // False, with the map empty, when neither holds one whole value.
  bool LoadFile(const std::wstring& path);
  // Writes the map to the backup file and moves it over the meta file. False when the map is
  // empty, no path is set, or the backup could not be written or moved.
  bool Save();
  // Deletes the meta file and its backup (after a successful download).
  void DeleteFiles();
  // Tests: the size above which a file is read without its event record (0: the normal 64 MiB).
  static void SetReadLimitForTesting(uint64_t bytes);

  // The map and the path, as LoadFile set them (SetPath for a task that never loaded).
  ProtoValue& Root() { return m_root; }
  const ProtoValue& Root() const { return m_root; }
  const std::wstring& Path() const { return m_path; }
  void SetPath(const std::wstring& path) { m_path = path; }
  std::wstring BackupPath() const { return m_path + L".mbk"; }

  // Builds the map from `data` and the task's log record.
  static void Encode(const TaskMetaData& data, const CTaskLog& log, ProtoValue& root);
  // Checks and reads the map. False, with the reason for the log, when a value has the wrong kind
  // or range, a gap lies outside the file, or the size or hash is not the task's.
  static bool Decode(const ProtoValue& root, int64_t fileSize, const std::wstring& fileHash, TaskMetaData& out,
                     std::wstring* reason);

  // The system error of the last failed open, read or write, and its kind (1); 0 when none.
  int32_t m_lastError = 0;
  int32_t m_errorKind = 0;

 private:
  enum class ReadResult { kOk, kMissing, kEmpty, kUnreadable, kTorn };

  ReadResult ReadWhole(const std::wstring& path, ProtoValue& value);
  void RecordError(uint32_t error);

  ProtoValue m_root;
  CFileEx m_file;
  std::wstring m_path;
};

// The bytes of a file of `fileSize` bytes that are on disk according to a saved gap list.
int64_t DownloadedBytes(const RangeList& gaps, int64_t fileSize);
