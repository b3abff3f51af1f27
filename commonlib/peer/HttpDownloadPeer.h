// CHttpDownloadPeer: a download source that fetches one block per HTTP Range request into the
// task's data file. It retries a failed request within the request's retry limit (continuing at
// the first byte not yet written), follows redirects, can be pinned to a server address, and
// reports the end of each block, its server address, redirects and retries as engine events.
// Main thread only; the body is written on the transfer thread by the block's writer.
//
// Asking ahead (AheadRule.h): where a request's latency is a real share of a block's time, a
// source holds a second block, requested while the first is still arriving, on a second request
// object of its own (its lane) with its own connection to the same server. The source is the peer
// in the task's list; the lane works for it (same URL, pin and name; its bytes count on the
// source's meter) and reports its blocks with its own events. The two requests take turns: when
// one block ends, the other request's block is the arriving one.
#pragma once

#include <cstdint>
#include <memory>
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
  bool IsIdle() const override;
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
  // written (progress reports lag behind it), for the source's lane too; the count only grows.
  void SyncReceived();

  // Asking ahead, on the source. Whether the source should ask for its next block now: it has
  // exactly one block, not yet asked ahead of, and AheadDue holds.
  bool WantsAhead();
  // Notes that the arriving block has been asked ahead of (whether or not a block was free).
  void MarkAheadAsked();
  // Starts `block` on whichever of the source's two requests is idle. False when it cannot; the
  // request is then idle again and the source goes on one block at a time (m_oneAtATime).
  bool StartAhead(DownloadBlock* block);
  // Ends this request alone (not the source's lane) and leaves it idle.
  void StopRequest();
  // Of a source: its second request, null when none. Of a lane: the source it works for.
  CHttpDownloadPeer* Lane() const { return m_lane.get(); }
  CHttpDownloadPeer* Owner() const { return m_owner; }
  // The source this request works for: the owner of a lane, else itself.
  CHttpDownloadPeer& Source() { return m_owner != nullptr ? *m_owner : *this; }
  // Of a source: its other request than `request`, which is itself or its lane; may be null.
  CHttpDownloadPeer* OtherRequest(const CHttpDownloadPeer* request) const;
  // Whether this request's block was handed over after the block of `other` (so it is the block
  // requested ahead while the other one arrives).
  bool HandedAfter(const CHttpDownloadPeer& other) const { return m_handOrder > other.m_handOrder; }
  // Of a source: drops its lane (stopped first).
  void DropLane();
  uint32_t LatencyMs() const;

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
  // A request ahead failed or was refused: the source goes on one block at a time.
  bool m_oneAtATime = false;
  // The source's transfer rate (bytes per millisecond) over its last block that arrived alone, 0
  // before the first.
  double m_bytesPerMs = 0;

  static constexpr size_t kLatencySamples = 4;

 private:
  ProtoValue EventMap() const;
  void Dispatch(int type, int et, int ec, const ProtoValue& map);
  std::wstring ResolveLocation(const std::wstring& location);
  // A lane copies the source's URL, pin and name before each block.
  void FollowSource();
  void NoteLatency(uint32_t ms);
  void NoteRate();

  CRefPtr<CDownloadDataFile> m_dataFile;
  uint64_t m_fileSize = 0;
  uint64_t m_bytesSinceActive = 0;  // received since the time-out clock was last moved on
  uint64_t m_attemptStart = 0;  // the block offset the current attempt writes from
  // While StartBlock hands the request to the manager, a final outcome is kept here instead of
  // being reported: the task is still in the middle of handing out the block.
  bool m_starting = false;
  bool m_failedWhileStarting = false;

  std::unique_ptr<CHttpDownloadPeer> m_lane;  // of a source: its second request
  CHttpDownloadPeer* m_owner = nullptr;        // of a lane: its source
  // Of a source: the last latencies (request sent to the answer's first byte, in ms), newest at
  // m_latencyNext - 1; the smallest is the estimate, since a new connection's handshake and every
  // delay on the way only add to a sample.
  uint32_t m_latencies[kLatencySamples] = {};
  size_t m_latencyCount = 0;
  size_t m_latencyNext = 0;
  uint64_t m_handCounter = 0;  // of a source: blocks handed to it so far
  // Of each request: its current block's number in the source's hand-out order, when its attempt
  // was sent, when the answer's headers came (0 before) and whether the block was asked ahead of.
  uint64_t m_handOrder = 0;
  uint32_t m_requestTick = 0;
  uint32_t m_firstByteTick = 0;
  bool m_aheadAsked = false;
};
