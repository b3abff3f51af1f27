// CTaskLog: the record of one download task for the statistics report: timestamped event lines,
// bytes and active time per source, and the statistics fields. The queue keeps the record after its
// task is gone (the report reads it at completion), and the meta file carries its lines and counters
// across restarts ("log": "tl", "ws", "it").
//
// Main thread only. Shared by the task and the queue through CRefPtr.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/thread/RefPtr.h"

class CDownloadTask;

// Categories of the event lines.
inline constexpr wchar_t kLogTaskState[] = L"任务状态";
inline constexpr wchar_t kLogSourceSelect[] = L"选取源";
inline constexpr wchar_t kLogSourceResolve[] = L"源解析";
inline constexpr wchar_t kLogSourceRetry[] = L"源重试";
inline constexpr wchar_t kLogSourceFail[] = L"源失败";
inline constexpr wchar_t kLogSourceRedirect[] = L"源重定向";

// The lines and counters as saved in the meta file, read and checked before any of it is applied.
struct TaskLogSnapshot {
  std::vector<std::wstring> lines;
  std::map<std::wstring, int64_t> bytesBySource;
  std::map<std::wstring, int64_t> timeBySource;
};

class CTaskLog : public CRefThreadSafeBase<CTaskLog> {
 public:
  // The newest lines kept: every restart adds a few, and the meta file carries them all.
  static constexpr size_t kMaxLines = 256;

  explicit CTaskLog(CDownloadTask* task = nullptr) : m_task(task) {}
  CTaskLog(const CTaskLog&) = delete;
  CTaskLog& operator=(const CTaskLog&) = delete;

  // Appends "[YYYY-MM-DD hh:mm:ss] [category] text" with the current local time; the oldest line
  // goes when more than kMaxLines are held.
  void AppendLine(const std::wstring& category, const std::wstring& text);
  // The newest line, empty when there is none.
  const std::wstring& LastLine() const;
  const std::vector<std::wstring>& Lines() const { return m_lines; }

  // Per-source counters, keyed by the source's name (its GetName); a source without a name is not
  // counted.
  void AddSourceBytes(const std::wstring& sourceName, int64_t bytes);
  // Adds the time since `firstStartTick` (when not 0) to the source's entry and moves the tick to
  // now, so that each span is counted once.
  void AddSourceTime(const std::wstring& sourceName, uint32_t& firstStartTick);
  const std::map<std::wstring, int64_t>& BytesBySource() const { return m_bytesBySource; }
  const std::map<std::wstring, int64_t>& TimeBySource() const { return m_timeBySource; }

  // The meta file's "log" map: "tl" (the lines), "ws" (bytes) and "it" (times), each only when not
  // empty.
  void SaveTo(ProtoValue& logMap) const;
  // Reads a saved "log" map; false when any part of it has the wrong kind (a null map reads as an
  // empty record). Nothing is applied here.
  static bool Parse(const ProtoValue& logMap, TaskLogSnapshot& out);
  // Saved lines go before this run's (the newest kMaxLines kept); saved counters replace the
  // current ones.
  void Restore(const TaskLogSnapshot& saved);

  // Writes "size", "download_size", "time_comsuming", "avg_speed", "status" and "is_cdn".
  void FillStatistics(int64_t fileSize, int64_t downloadedBytes, int64_t elapsedMs, int32_t status, bool usedCdn);
  ProtoValue& Stats() { return m_stats; }
  const ProtoValue& Stats() const { return m_stats; }

  bool m_alreadyComplete = false;
  bool m_finished = false;

  // The owning task while it exists; the task detaches itself when it is destroyed, so the record
  // never points at a deleted task.
  CDownloadTask* Task() const { return m_task; }
  void DetachTask() { m_task = nullptr; }

 private:
  std::vector<std::wstring> m_lines;
  std::map<std::wstring, int64_t> m_bytesBySource;
  std::map<std::wstring, int64_t> m_timeBySource;
  void DropOldestLines();

  ProtoValue m_stats;
  CDownloadTask* m_task;
};
