// CDownloadTask: the download of one file of known size and hash from several HTTP sources at
// once: a source by the URL's host name, up to two pinned to server addresses, and one fallback
// source on a CDN host when the speed stays low or every source has failed. The missing bytes
// (the gaps) are handed out in blocks; each block is written into a temporary data file beside the
// target, which a meta file lets a later run resume. When no byte is missing the data file becomes
// the target.
//
// Main thread only: created, started, ticked and cancelled by the task queue, told about its
// sources' requests through the queue's events. OnTaskCompleted deletes the task; every caller
// returns at once after it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commonlib/engine/DownloadBlock.h"
#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/engine/RangeList.h"
#include "commonlib/engine/TaskLog.h"
#include "commonlib/engine/TaskMetaFile.h"
#include "commonlib/peer/VKFileIO.h"
#include "commonlib/thread/RefPtr.h"

class CDownloadPeer;

// Completion codes of a task (ec, with et 3).
inline constexpr int DL_TASK_FILE_ERROR = 6;   // the data file could not be made or sized
inline constexpr int DL_TASK_NO_SOURCE = 809;  // no source for more than 10 seconds

class CDownloadTask {
 public:
  CDownloadTask(const std::wstring& url, const std::wstring& ipListText, const std::wstring& cdnHost,
                int64_t cdnMinSpeed, const std::wstring& targetPath, const std::wstring& fileHash, int64_t fileSize,
                const std::string& statsJson);
  virtual ~CDownloadTask();
  CDownloadTask(const CDownloadTask&) = delete;
  CDownloadTask& operator=(const CDownloadTask&) = delete;

  bool StartTask();
  bool StopTask();
  // Once a second. False: the task has had no source for more than 10 s and must fail.
  bool Tick();
  // A source's block request ended for good with (et, ec).
  void OnRangeCompleted(CDownloadPeer* peer, int et, int ec);
  // Ends the task with `code` (0, 6 or 809), reports it and deletes the task.
  void OnTaskCompleted(int code);
  bool DownloadNextEmptyBlock();
  bool AddPeer(CDownloadPeer* peer);
  void LogPause();
  void OnPeerResolved(CDownloadPeer* peer);
  void OnPeerRedirected(const std::wstring& logName, const std::wstring& location);
  void OnPeerRetry(CDownloadPeer* peer, int et, int ec, int times);
  void FillStatistics();

  std::wstring GetFullPath() const;
  std::wstring GetTempPath() const;
  std::wstring GetMetaPath() const;

  // The gaps minus the blocks in flight (see FreeRanges in DownloadBlock.h).
  void FreeRanges(RangeList& out, bool wholeBlocks) const;
  int64_t GetCompletedSize() const;
  CDownloadPeer* FindIdlePeer() const;
  std::wstring DescribeBlocks() const;

  const std::wstring& Url() const { return m_url; }
  const std::wstring& FileHash() const { return m_fileHash; }
  int64_t FileSize() const { return m_fileSize; }
  const CRefPtr<CTaskLog>& Log() const { return m_log; }
  const std::vector<std::unique_ptr<CDownloadPeer>>& Peers() const { return m_peers; }
  const RangeList& Gaps() const { return m_gaps; }
  bool UsedCdn() const { return m_usedCdn; }
  bool CdnSwitched() const { return m_cdnSwitched; }
  int State() const { return m_state; }

  int64_t m_id = 0;
  DownloadProgressCallback m_progressCb = nullptr;
  DownloadDoneCallback m_doneCb = nullptr;

 private:
  enum class CdnReason { kLowSpeed, kAllFailed };

  void ResetTransfers();
  bool LoadMeta();
  bool SaveMeta();
  void SwitchToCdn(CdnReason reason, int64_t completed, int64_t cdnSpeed);
  std::unique_ptr<CDownloadPeer> MakeHttpPeer(const std::wstring& url, bool pinned);
  // Appends unless present; false when the source is already there.
  bool InsertPeer(std::unique_ptr<CDownloadPeer> peer);
  // Takes the source out of the list; null when it is not there.
  std::unique_ptr<CDownloadPeer> TakePeer(CDownloadPeer* peer);
  bool HasPeer(const CDownloadPeer* peer) const;
  int PercentOf(int64_t completed) const;
  // The sum of the HTTP sources' current mean speeds.
  int64_t HttpAverageSpeed() const;
  void AddSourceTime(CDownloadPeer* peer);
  void ReportProgress(int64_t completed, int32_t speed);
  bool TargetIsComplete() const;
  // Puts this task's completed data file onto the target; the outcome's et (0 on success).
  int MoveDataOntoTarget(bool dataInPlace);

  CRefPtr<CTaskLog> m_log;
  RangeList m_gaps;
  BlockList m_blocks;
  std::vector<std::unique_ptr<CDownloadPeer>> m_peers;
  std::wstring m_url;
  std::vector<std::wstring> m_ipList;
  int32_t m_maxPeers = 3;
  std::wstring m_fileHash;
  std::wstring m_dir;
  std::wstring m_fileName;
  std::wstring m_cdnHost;
  int64_t m_cdnMinSpeed = 0;
  uint32_t m_lastFastTick = 0;
  bool m_cdnSwitched = false;
  bool m_usedCdn = false;
  int64_t m_prevElapsedMs = 0;
  uint32_t m_startTick = 0;
  int64_t m_fileSize = 0;
  uint32_t m_noPeerSince = 0;
  int32_t m_state = 0;
  int64_t m_p2pBytes = 0;
  int32_t m_status = 0;
  CTaskMetaFile m_meta;
  // The gaps describe this run's data file (resumed at its full size, or made afresh): only then
  // may the meta file be written, and only then is a complete gap list a complete data file.
  bool m_gapsDescribeData = false;
  DownloadEndDetail m_endDetail;
  // The data file, opened once per run and shared by every block writer.
  CRefPtr<CDownloadDataFile> m_dataFile;
  // Expires when the task is deleted: a caller that handed control to a source (which may end
  // the task through an event) checks it before touching the task again.
  std::shared_ptr<int> m_life = std::make_shared<int>(0);

 public:
  std::weak_ptr<int> LifeToken() const { return m_life; }
};
