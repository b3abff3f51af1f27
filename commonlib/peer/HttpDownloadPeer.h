// CHttpDownloadPeer: a download source that fetches one block per HTTP Range request into the
// task's data file. It retries a failed request within the request's retry limit (continuing at
// the first byte not yet written), follows redirects, can be pinned to a server address, and
// reports the end of each block, its server address, redirects and retries as engine events.
// Main thread only; the body is written on the transfer thread by the block's writer.
#pragma once

#include <cstdint>
#include <string>

#include "commonlib/engine/DownloadBlock.h"
#include "commonlib/http/HttpBase.h"
#include "commonlib/peer/DownloadPeer.h"
#include "commonlib/peer/VKFileIO.h"
#include "commonlib/thread/RefPtr.h"

// The download engine's own outcome codes (error type 3, or 4 for 2008).
inline constexpr int DL_ERROR_NO_BLOCK = -1;        // started without a block
inline constexpr int DL_ERROR_REDIRECT_RETRY = 3003;  // a pinned request was redirected

class CHttpDownloadPeer : public CDownloadPeer, public CHttpBase {
 public:
  // Made on the engine's download stack (workshop and manager).
  CHttpDownloadPeer(const std::wstring& url, const std::wstring& path, bool pinned);
  ~CHttpDownloadPeer() override;

  // CDownloadPeer
  bool StartBlock(DownloadBlock* block) override;
  void StopTransfer() override;
  std::wstring GetIp() override { return m_ip; }
  std::wstring GetHost() override;
  std::wstring GetName() override;
  bool IsP2P() override { return false; }
  DownloadBlock* Block() const override { return m_block; }
  CHttpDownloadPeer* AsHttpPeer() override { return this; }
  std::wstring Describe() override;

  // CHttpBase
  void SetIP(const std::wstring& ip, uint16_t port) override;
  bool Prepare() override;
  HttpOutcome Start() override;
  void Done(int type, int code) override;
  void OnHeaders(int httpCode, const ProtoValue& headers) override;
  void OnProgress(int64_t bytes) override;

  // Brings the block's count of bytes on disk up to what the running attempt's writer has
  // written (progress reports lag behind it); the count only grows.
  void SyncReceived();

  // The task's data file, shared by its sources; without one each request opens the file itself.
  void SetDataFile(CRefPtr<CDownloadDataFile> file) { m_dataFile = std::move(file); }
  // The size of the whole file: a response whose Content-Range gives another total describes
  // another file and is refused. 0 checks nothing.
  void SetFileSize(uint64_t size) { m_fileSize = size; }

  static constexpr uint32_t kTimeoutMs = 16000;
  // Only progress of at least this many bytes keeps the time-out away: a source that stays below
  // kUsefulBytes per kTimeoutMs (1 KiB/s) fails like one that sends nothing.
  static constexpr uint32_t kUsefulBytes = 16 * 1024;

  DownloadBlock* m_block = nullptr;  // not owned
  bool m_isCdn = false;
  bool m_isIpPeer = false;
  std::wstring m_ip;
  uint32_t m_firstStartTick = 0;
  std::wstring m_savedUrl;

 private:
  ProtoValue EventMap() const;
  void Dispatch(int type, int et, int ec, const ProtoValue& map);
  std::wstring ResolveLocation(const std::wstring& location);

  CRefPtr<CDownloadDataFile> m_dataFile;
  uint64_t m_fileSize = 0;
  uint64_t m_bytesSinceActive = 0;  // received since the time-out clock was last moved on
  uint64_t m_attemptStart = 0;  // the block offset the current attempt writes from
  // While StartBlock hands the request to the manager, a final outcome is kept here instead of
  // being reported: the task is still in the middle of handing out the block.
  bool m_starting = false;
  bool m_failedWhileStarting = false;
};
