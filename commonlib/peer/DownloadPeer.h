// CDownloadPeer: one source of a download task. It downloads one block at a time (an HTTP source
// may hold a second, requested ahead: HttpDownloadPeer.h) into the task's data file and reports
// through the engine's events (commonlib/engine/DAEventRegistry.h). Owned by its task; main
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/peer/SpeedSampler.h"

struct DownloadBlock;
class CHttpDownloadPeer;

class CDownloadPeer {
 public:
  explicit CDownloadPeer(std::wstring path) : m_path(std::move(path)) {}
  CDownloadPeer(const CDownloadPeer&) = delete;
  CDownloadPeer& operator=(const CDownloadPeer&) = delete;
  virtual ~CDownloadPeer() = default;

  // Takes the block (the task keeps owning it); false when the source cannot start it.
  virtual bool StartBlock(DownloadBlock* block) = 0;
  // Forgets the block and abandons the request.
  virtual void StopTransfer() = 0;
  virtual std::wstring GetIp() { return std::wstring(); }
  virtual std::wstring GetHost() { return std::wstring(); }
  // The name the task log counts this source under.
  virtual std::wstring GetName() { return std::wstring(); }
  virtual bool IsP2P() = 0;
  // Holds no block: the task may hand it the next one.
  virtual bool IsIdle() const { return !m_busy; }

  // The block being downloaded, null when none.
  virtual DownloadBlock* Block() const { return nullptr; }
  // The HTTP source behind this one, null for another kind.
  virtual CHttpDownloadPeer* AsHttpPeer() { return nullptr; }
  // "p2p:0 url:%s" for an HTTP source, empty otherwise: the source as the task's log lines name it.
  virtual std::wstring Describe() { return std::wstring(); }

  // The value the events carry as "peer".
  int64_t EventId() const { return static_cast<int64_t>(reinterpret_cast<intptr_t>(this)); }
  static CDownloadPeer* FromEventId(int64_t id) { return reinterpret_cast<CDownloadPeer*>(static_cast<intptr_t>(id)); }

  std::wstring m_path;     // the data file this source writes to
  bool m_busy = false;     // a block was handed over and its request has not ended for good
  std::wstring m_taskKey;  // the owning task's hash text
  SpeedSampler m_meter;
};
