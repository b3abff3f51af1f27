#include "commonlib/engine/DownloadTask.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/logger/DownloadLog.h"
#include "commonlib/logger/Log.h"
#include "commonlib/peer/DownloadPeer.h"
#include "commonlib/peer/HttpDownloadPeer.h"
#include "commonlib/util/CommonUtils.h"
#include "commonlib/util/FileUtils.h"
#include "commonlib/util/ProtoValueJsonConvertor.h"
#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/format.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kNoSourceLimitMs = 10000;
constexpr uint32_t kLowSpeedWindowMs = 20000;
constexpr int kMoveRetries = 10;

std::vector<std::wstring> SplitIpList(const std::wstring& text) {
  std::vector<std::wstring> list;
  size_t begin = 0;
  while (begin <= text.size()) {
    const size_t end = std::min(text.find(L';', begin), text.size());
    std::wstring item = platform::Trim(text.substr(begin, end - begin));
    if (!item.empty()) list.push_back(std::move(item));
    begin = end + 1;
  }
  std::sort(list.begin(), list.end());
  return list;
}

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to) {
  if (from.empty()) return text;
  for (size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

}  // namespace

CDownloadTask::CDownloadTask(const std::wstring& url, const std::wstring& ipListText, const std::wstring& cdnHost,
                             int64_t cdnMinSpeed, const std::wstring& targetPath, const std::wstring& fileHash,
                             int64_t fileSize, const std::string& statsJson)
    : m_log(new CTaskLog(this)) {
  if (!statsJson.empty()) JsonToProtoValue(platform::Utf8ToWide(statsJson), m_log->Stats());
  m_log->Stats()[L"file_name"] = GetFileName(targetPath);
  LOGI(L"CDownloadTask::CDownloadTask full_name:%s", targetPath);
  m_url = url;
  m_ipList = SplitIpList(ipListText);
  m_dir = GetParentDirectory(targetPath);
  m_fileName = GetFileName(targetPath);
  m_fileHash = fileHash;
  m_fileSize = fileSize;
  m_cdnHost = cdnHost;
  m_cdnMinSpeed = cdnMinSpeed;
  m_startTick = platform::GetTickCount();
  CDownloadTaskQueue::GetInstance()->AddRecord(m_log);
}

CDownloadTask::~CDownloadTask() {
  // Sources first: their requests refer to blocks and to the data file.
  for (auto& peer : m_peers) peer->StopTransfer();
  m_peers.clear();
  m_blocks.clear();
  m_log->DetachTask();
}

std::wstring CDownloadTask::GetFullPath() const { return m_dir + L"\\" + m_fileName; }
std::wstring CDownloadTask::GetTempPath() const { return GetFullPath() + L".vkdt"; }
std::wstring CDownloadTask::GetMetaPath() const { return GetTempPath() + L".vkmt"; }

void CDownloadTask::FreeRanges(RangeList& out, bool wholeBlocks) const {
  ::FreeRanges(m_gaps, m_blocks, wholeBlocks, out);
}

int64_t CDownloadTask::GetCompletedSize() const { return ::GetCompletedSize(m_gaps, m_blocks, m_fileSize); }

std::wstring CDownloadTask::DescribeBlocks() const { return ::DescribeBlocks(m_blocks, m_gaps); }

CDownloadPeer* CDownloadTask::FindIdlePeer() const {
  for (const auto& peer : m_peers) {
    if (!peer->m_busy) return peer.get();
  }
  return nullptr;
}

bool CDownloadTask::HasPeer(const CDownloadPeer* peer) const {
  return std::any_of(m_peers.begin(), m_peers.end(), [peer](const auto& p) { return p.get() == peer; });
}

bool CDownloadTask::InsertPeer(std::unique_ptr<CDownloadPeer> peer) {
  if (HasPeer(peer.get())) return false;
  m_peers.push_back(std::move(peer));
  return true;
}

std::unique_ptr<CDownloadPeer> CDownloadTask::TakePeer(CDownloadPeer* peer) {
  auto it = std::find_if(m_peers.begin(), m_peers.end(), [peer](const auto& p) { return p.get() == peer; });
  if (it == m_peers.end()) return nullptr;
  std::unique_ptr<CDownloadPeer> taken = std::move(*it);
  m_peers.erase(it);
  return taken;
}

std::unique_ptr<CDownloadPeer> CDownloadTask::MakeHttpPeer(const std::wstring& url, bool pinned) {
  auto peer = std::make_unique<CHttpDownloadPeer>(url, GetTempPath(), pinned);
  peer->verifyHost = true;
  peer->m_taskKey = m_fileHash;
  peer->SetDataFile(m_dataFile);
  if (m_fileSize > 0) peer->SetFileSize(static_cast<uint64_t>(m_fileSize));
  return peer;
}

bool CDownloadTask::AddPeer(CDownloadPeer* peer) {
  // The caller hands over ownership.
  InsertPeer(std::unique_ptr<CDownloadPeer>(peer));
  DownloadNextEmptyBlock();
  return true;
}

void CDownloadTask::ResetTransfers() {
  for (auto& peer : m_peers) peer->StopTransfer();
  m_peers.clear();
  m_gaps.Clear();
  m_blocks.clear();
}

void CDownloadTask::AddSourceTime(CDownloadPeer* peer) {
  if (CHttpDownloadPeer* http = peer->AsHttpPeer()) m_log->AddSourceTime(http->GetName(), http->m_firstStartTick);
}

int CDownloadTask::PercentOf(int64_t completed) const {
  if (m_fileSize <= 0) return 100;
  return static_cast<int>(static_cast<double>(completed) * 100.0 / static_cast<double>(m_fileSize));
}

int64_t CDownloadTask::HttpAverageSpeed() const {
  int32_t sum = 0;
  for (const auto& peer : m_peers) {
    if (peer->AsHttpPeer() != nullptr) sum = static_cast<int32_t>(static_cast<uint32_t>(sum) + peer->m_meter.m_avgSpeed);
  }
  return sum;
}

bool CDownloadTask::StartTask() {
  if (m_state == 1) {
    LOGE(L"StartTask error 状态错误 %s", GetFullPath());
    return false;
  }
  const std::weak_ptr<int> alive = m_life;
  m_state = 1;
  m_gapsDescribeData = false;
  m_lastFastTick = platform::GetTickCount();
  m_startTick = m_lastFastTick;
  ResetTransfers();
  const bool loaded = LoadMeta();
  m_log->AppendLine(kLogTaskState, platform::StrFormat(L"开始下载:%s", m_url));

  const std::wstring tempPath = GetTempPath();
  // Saved gaps describe a data file only while it is there at its full size: a file cut short, or
  // one made afresh by another program, holds none of the bytes they claim.
  const bool resumable = loaded && FileExists(tempPath) && GetFileSize(tempPath) == m_fileSize;
  if (!resumable) {
    // An empty file has nothing to fetch and is never taken for complete by its size alone: it is
    // made below and moved onto the target.
    if (m_fileSize > 0 && TargetIsComplete()) {
      m_log->m_alreadyComplete = true;
      LOGE(L"最终文件大小等于预期大小，认为已经完成 %s %lld", GetFullPath(), m_fileSize);
      OnTaskCompleted(0);
      return true;
    }
    uint32_t error = platform::ERROR_INVALID_PARAMETER;
    if (m_fileSize < 0 || !CreateEmptyFile(tempPath, static_cast<uint64_t>(m_fileSize), &error)) {
      LOGE(L"创建空文件失败 %s %lld", tempPath, m_fileSize);
      m_endDetail.systemError = error;
      OnTaskCompleted(DL_TASK_FILE_ERROR);
      return false;
    }
    ResetToWholeFile(m_gaps, m_fileSize);
  }
  m_gapsDescribeData = true;
  if (IsFileComplete(m_gaps, m_fileSize)) {
    LOGI(L"任务完成，无需开始下载 %s", GetFullPath());
    OnTaskCompleted(0);
    return true;
  }
  uint32_t openError = 0;
  m_dataFile = CDownloadDataFile::Open(tempPath, &openError);
  if (!m_dataFile) {
    LOGE(L"创建空文件失败 %s %lld", tempPath, m_fileSize);
    m_endDetail.systemError = openError;
    OnTaskCompleted(DL_TASK_FILE_ERROR);
    return false;
  }

  std::unique_ptr<CDownloadPeer> domain = MakeHttpPeer(m_url, false);
  AddPeer(domain.release());
  if (alive.expired()) return true;
  m_log->AppendLine(kLogSourceSelect, platform::StrFormat(L"选取域名源：%s", GetHostFromUrl(m_url)));

  srand(static_cast<unsigned>(time(nullptr)));
  std::vector<std::wstring> candidates = m_ipList;
  const uint16_t port = static_cast<uint16_t>(GetPortFromUrl(m_url));
  for (int added = 0; added < m_maxPeers - 1 && !candidates.empty(); ++added) {
    const size_t k = static_cast<size_t>(rand()) % candidates.size();
    std::unique_ptr<CDownloadPeer> pinned = MakeHttpPeer(m_url, true);
    pinned->AsHttpPeer()->SetIP(candidates[k], port);
    m_log->AppendLine(kLogSourceSelect, platform::StrFormat(L"选取IP源：%s", candidates[k]));
    LOGI(L"添加ip peer url:%s ip:%s", m_url, candidates[k]);
    AddPeer(pinned.release());
    if (alive.expired()) return true;
    candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(k));
  }
  return true;
}

bool CDownloadTask::StopTask() {
  if (m_state == 0) {
    LOGE(L"StopTask error 状态错误 %s", GetFullPath());
    return false;
  }
  m_state = 0;
  for (auto& peer : m_peers) {
    AddSourceTime(peer.get());
    if (CHttpDownloadPeer* http = peer->AsHttpPeer()) http->SyncReceived();
  }
  SaveMeta();
  ResetTransfers();
  m_dataFile.reset();
  return true;
}

bool CDownloadTask::LoadMeta() {
  m_gaps.Clear();
  const std::wstring tempPath = GetTempPath();
  if (!m_meta.LoadFile(GetMetaPath())) {
    LOGI(L"无任务断点信息 %s", tempPath);
    return false;
  }
  int64_t readFt = 0;
  GetFileModifiedTime(tempPath, readFt);
  const ProtoValue& root = m_meta.Root();
  auto integerOf = [&root](const wchar_t* key) {
    const ProtoValue& v = root.Lookup(key);
    return v.type() == PV_INTEGER ? v.integer() : 0;
  };
  const ProtoValue& savedHash = root.Lookup(L"fh");
  LOGI(L"read_ft:%lld save_ft:%lld size:%lld save_size:%lld hash:%s save_hash:%s", readFt, integerOf(L"ft"),
       m_fileSize, integerOf(L"fs"), m_fileHash, savedHash.type() == PV_STRING ? savedHash.string() : std::wstring());
  TaskMetaData data;
  std::wstring reason;
  if (!CTaskMetaFile::Decode(root, m_fileSize, m_fileHash, data, &reason)) {
    // Saved state that is not wholly this download's is worth nothing: start afresh.
    LOGE(L"下载配置不可用，重新下载 %s %s", tempPath, reason);
    return false;
  }
  m_gaps.CopyFrom(data.gaps);
  m_p2pBytes = data.p2pBytes;
  m_prevElapsedMs = data.elapsedMs;
  m_usedCdn = data.usedCdn;
  m_log->Restore(data.log);
  return true;
}

bool CDownloadTask::SaveMeta() {
  // Gaps that describe no data file (a start that failed before the file was made, a data file
  // removed or replaced under the task) would claim bytes that were never written into it.
  if (!m_gapsDescribeData || (m_dataFile && !m_dataFile->IsAtPath())) return false;
  TaskMetaData data;
  GetFileModifiedTime(GetTempPath(), data.fileTime);
  data.fileSize = m_fileSize;
  data.fileHash = m_fileHash;
  data.p2pBytes = m_p2pBytes;
  data.elapsedMs = static_cast<int64_t>(platform::GetTickCount() - m_startTick) + m_prevElapsedMs;
  data.usedCdn = m_usedCdn;
  FreeRanges(data.gaps, false);
  m_meta.SetPath(GetMetaPath());
  CTaskMetaFile::Encode(data, *m_log, m_meta.Root());
  return m_meta.Save();
}

bool CDownloadTask::Tick() {
  const uint32_t now = platform::GetTickCount();
  if (m_noPeerSince == 0 && m_peers.empty()) m_noPeerSince = now;
  if (m_noPeerSince != 0 && !m_peers.empty()) m_noPeerSince = 0;
  if (m_noPeerSince != 0 && now - m_noPeerSince > kNoSourceLimitMs) return false;

  const int64_t completed = GetCompletedSize();
  uint32_t speed = 0;
  for (auto& peer : m_peers) speed += peer->m_meter.Update();

  if (!m_cdnSwitched && !m_cdnHost.empty()) {
    const int64_t cdnSpeed = HttpAverageSpeed();
    // Unsigned, so a negative threshold is above every speed.
    if (static_cast<uint64_t>(cdnSpeed) > static_cast<uint64_t>(m_cdnMinSpeed)) m_lastFastTick = now;
    if (now - m_lastFastTick > kLowSpeedWindowMs) {
      const std::weak_ptr<int> alive = m_life;
      SwitchToCdn(CdnReason::kLowSpeed, completed, cdnSpeed);
      if (alive.expired()) return true;
    }
  }

  if (completed < m_fileSize && FindIdlePeer() != nullptr) {
    LOGI(L"%s 任务未完成，但还有空闲peer，开始调度下载", m_url);
    const std::weak_ptr<int> alive = m_life;
    DownloadNextEmptyBlock();
    if (alive.expired()) return true;
  }
  ReportProgress(completed, static_cast<int32_t>(speed));
  return true;
}

void CDownloadTask::ReportProgress(int64_t completed, int32_t speed) {
  const int peerCount = static_cast<int>(m_peers.size());
  LOGI(L"%s 任务下载 speed:%d completed:%lld/%lld peer_count:%d", m_url, speed, completed, m_fileSize, peerCount);
  TraceLogger::GetInstance()->Log(LOG_ERROR, L"%s 任务下载 speed:%d completed:%lld/%lld peer_count:%d", m_url, speed,
                                  completed, m_fileSize, peerCount);
  if (m_progressCb != nullptr) m_progressCb(static_cast<uint32_t>(m_id), m_fileSize, completed, speed);
}

void CDownloadTask::SwitchToCdn(CdnReason reason, int64_t completed, int64_t cdnSpeed) {
  m_cdnSwitched = true;
  m_usedCdn = true;
  const std::wstring cdnUrl = ReplaceAll(m_url, GetHostFromUrl(m_url), m_cdnHost);
  std::unique_ptr<CDownloadPeer> cdn = MakeHttpPeer(cdnUrl, false);
  cdn->AsHttpPeer()->m_isCdn = true;

  const int percent = PercentOf(completed);
  const std::wstring done = FormatSize(static_cast<uint64_t>(completed), true);
  if (reason == CdnReason::kLowSpeed) {
    m_log->AppendLine(kLogSourceSelect,
                      platform::StrFormat(L"任务进度%d%%,已下载%s,下载速度为%s/秒低于阈值%s/秒，切换为第三方cdn下载源：%s",
                                          percent, done, FormatSize(static_cast<uint64_t>(cdnSpeed), true),
                                          FormatSize(static_cast<uint64_t>(m_cdnMinSpeed), true), m_cdnHost));
  } else {
    m_log->AppendLine(kLogSourceSelect,
                      platform::StrFormat(L"%d%%,已下载%s,下载源全部失败，切换为第三方cdn下载源：%s", percent, done,
                                          m_cdnHost));
  }
  LOGI(L"%s", m_log->LastLine());
  // Last: handing out the block may end the task.
  AddPeer(cdn.release());
}

bool CDownloadTask::DownloadNextEmptyBlock() {
  CDownloadPeer* const peer = FindIdlePeer();
  if (peer == nullptr) {
    LOGI(L"DownloadNextEmptyBlock 目前没有空闲的源");
    return false;
  }
  const std::wstring description = peer->Describe();
  auto block = std::make_unique<DownloadBlock>();
  if (!SelectBlock(m_gaps, m_blocks, !peer->IsP2P(), *block)) {
    LOGI(L"DownloadNextEmptyBlock %s 选取空白文件块失败  %s", peer->m_path, DescribeBlocks());
    return false;
  }
  // The block is listed before the source sees it, so that whatever the source reports while it
  // starts finds the block where it belongs.
  DownloadBlock* const handed = block.get();
  const uint64_t start = handed->start;
  const uint64_t end = handed->end;
  m_blocks.push_back(std::move(block));
  const std::weak_ptr<int> alive = m_life;
  const bool started = peer->StartBlock(handed);
  if (alive.expired()) return started;
  const int peerCount = static_cast<int>(m_peers.size());
  if (started) {
    LOGI(L"%s 选取空白文件块成功 %s DownloadNextEmptyBlock %lld-%lld peer_count:%d", description, peer->m_path, start,
         end, peerCount);
    return true;
  }
  LOGI(L"%s DownloadNextEmptyBlock 失败 %s DownloadNextEmptyBlock %lld-%lld peer_count:%d", description, peer->m_path,
       start, end, peerCount);
  RemoveRequestBlock(m_blocks, handed);
  if (HasPeer(peer) && peer->m_busy) {
    peer->StopTransfer();
    TakePeer(peer);
  }
  return false;
}

void CDownloadTask::OnRangeCompleted(CDownloadPeer* peer, int et, int ec) {
  if (!HasPeer(peer)) {
    LOGI(L"peer未找到 0x%x", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(peer)));
    return;
  }
  DownloadBlock* const block = peer->Block();
  if (block == nullptr) {
    LOGI(L"et:%d ec:%d peer block_未分配而移除", et, ec);
    peer->StopTransfer();
    TakePeer(peer);
    return;
  }
  const uint64_t start = block->start;
  const uint64_t end = block->end;
  LOGI(L"%s code=%d:%d OnRangeCompleted task %s start:%lld size:%d", peer->Describe(), et, ec, GetFullPath(), start,
       static_cast<int>(end - start + 1));
  LOGI(L"%s block+gap begin: %s", GetFullPath(), DescribeBlocks());
  if (!RemoveRequestBlock(m_blocks, block)) LOGI(L"%s RemoveRequestBlock 失败", GetFullPath());
  // The block is gone; the source must not keep pointing at it.
  if (CHttpDownloadPeer* http = peer->AsHttpPeer()) http->m_block = nullptr;

  if (et != 0) {
    if (CHttpDownloadPeer* http = peer->AsHttpPeer()) {
      m_log->AppendLine(kLogSourceFail, platform::StrFormat(L"源：%s失败,et:%d,ec:%d", http->GetName(), et, ec));
    }
    m_endDetail.lastSourceEt = et;
    m_endDetail.lastSourceEc = ec;
    peer->StopTransfer();
    std::unique_ptr<CDownloadPeer> failed = TakePeer(peer);
    AddSourceTime(failed.get());
    failed.reset();
    const bool onlyP2PLeft = std::all_of(m_peers.begin(), m_peers.end(), [](const auto& p) { return p->IsP2P(); });
    if (!m_cdnSwitched && !m_cdnHost.empty() && onlyP2PLeft) {
      const std::weak_ptr<int> alive = m_life;
      SwitchToCdn(CdnReason::kAllFailed, GetCompletedSize(), 0);
      if (alive.expired()) return;
    }
  } else {
    m_gaps.Subtract(start, end);
    const int64_t length = static_cast<int64_t>(end - start + 1);
    if (peer->IsP2P()) {
      m_p2pBytes += length;
    } else {
      m_log->AddSourceBytes(peer->GetName(), length);
    }
    SaveMeta();
    if (IsFileComplete(m_gaps, m_fileSize)) {
      LOGI(L"download task completed 正常完成 %s p2p部分/总大小:%lld/%lld", GetFullPath(), m_p2pBytes, m_fileSize);
      OnTaskCompleted(0);
      return;
    }
  }
  LOGI(L"%s block+gap end: %s", GetFullPath(), DescribeBlocks());
  DownloadNextEmptyBlock();
}

bool CDownloadTask::TargetIsComplete() const {
  const std::wstring target = GetFullPath();
  return FileExists(target) && GetFileSize(target) == m_fileSize;
}

int CDownloadTask::MoveDataOntoTarget(bool dataInPlace) {
  const std::wstring tempPath = GetTempPath();
  // A data file that vanished or changed size under the task (another program) holds none of what
  // the gaps say; nor does anything that took its place.
  const bool intact = dataInPlace && FileExists(tempPath) && GetFileSize(tempPath) == m_fileSize;
  if (intact && MoveFileWithRetry(tempPath, GetFullPath(), kMoveRetries)) {
    m_meta.DeleteFiles();
    return 0;
  }
  uint32_t error = platform::GetLastError();
  if (!intact) {
    LOGE(L"数据文件已不存在或大小不符，下载作废 %s", tempPath);
    // The saved gaps describe a file that is gone; the next run starts afresh.
    m_meta.DeleteFiles();
    error = platform::ERROR_FILE_NOT_FOUND;
  } else {
    LOGI(L"文件下载完成，但是文件重命名失败 et:%d", static_cast<int>(error));
  }
  if (error == 0) error = platform::ERROR_FILE_NOT_FOUND;
  m_endDetail.systemError = error;
  return static_cast<int>(error);
}

void CDownloadTask::OnTaskCompleted(int code) {
  // Taken before the stop clears the gaps: only a data file that this task saw completed may
  // become the target; otherwise success means the target was found complete.
  const bool ownDataComplete = code == 0 && m_gapsDescribeData && IsFileComplete(m_gaps, m_fileSize);
  const bool dataInPlace = !m_dataFile || m_dataFile->IsAtPath();
  m_log->AppendLine(kLogTaskState, platform::StrFormat(L"下载完成 code:%d", code));
  m_status = code == 0 ? 1 : 2;
  StopTask();
  m_log->m_finished = true;
  // The statistics upload completes the record from this task, queues it for the server and
  // takes it out of the queue's record list.
  DownloadLog::GetInstance()->ReportTaskLog(*m_log);

  int et = 3;
  if (code == 0) {
    if (ownDataComplete) {
      et = MoveDataOntoTarget(dataInPlace);
    } else if (TargetIsComplete()) {
      et = 0;
    } else {
      et = static_cast<int>(platform::ERROR_FILE_NOT_FOUND);
      m_endDetail.systemError = platform::ERROR_FILE_NOT_FOUND;
    }
  }
  SetDownloadEndDetail(static_cast<uint32_t>(m_id), m_endDetail);
  if (m_doneCb != nullptr) m_doneCb(static_cast<uint32_t>(m_id), et, code);
  LOGI(L"task:%s OnTaskCompleted:et %d,ec,%d", GetFullPath(), et, code);
  CDownloadTaskQueue::GetInstance()->RemoveTask(this);
  delete this;
}

void CDownloadTask::LogPause() {
  const int64_t completed = GetCompletedSize();
  m_log->AppendLine(kLogTaskState,
                    platform::StrFormat(L"暂停下载,%d%%,已下载%s,下载速度为%s/秒", PercentOf(completed),
                                        FormatSize(static_cast<uint64_t>(completed), true),
                                        FormatSize(static_cast<uint64_t>(HttpAverageSpeed()), true)));
}

void CDownloadTask::OnPeerResolved(CDownloadPeer* peer) {
  CHttpDownloadPeer* const http = peer->AsHttpPeer();
  if (http == nullptr) return;
  const wchar_t* format = http->m_isCdn ? L"CDN%s解析ip为：%s"
                          : http->redirected ? L"重定向源%s解析ip为：%s"
                                             : L"域名源%s解析ip为：%s";
  m_log->AppendLine(kLogSourceResolve, platform::StrFormat(format, http->GetHost(), http->GetIp()));
}

void CDownloadTask::OnPeerRedirected(const std::wstring& logName, const std::wstring& location) {
  m_log->AppendLine(kLogSourceRedirect, platform::StrFormat(L"源%s重定向到:%s", logName, location));
  LOGI(L"%s", m_log->LastLine());
}

void CDownloadTask::OnPeerRetry(CDownloadPeer* peer, int et, int ec, int times) {
  if (peer->AsHttpPeer() == nullptr) return;
  m_log->AppendLine(kLogSourceRetry, platform::StrFormat(L"下载源%s 第%d次重试 et:%d ec:%d", peer->GetName(), times, et, ec));
}

void CDownloadTask::FillStatistics() {
  TaskMetaData saved;
  int64_t downloaded = 0;
  if (CTaskMetaFile::Decode(m_meta.Root(), m_fileSize, m_fileHash, saved, nullptr))
    downloaded = DownloadedBytes(saved.gaps, m_fileSize);
  const int64_t elapsed = static_cast<int64_t>(platform::GetTickCount() - m_startTick) + m_prevElapsedMs;
  m_log->FillStatistics(m_fileSize, downloaded, elapsed, m_status, m_usedCdn);
}
