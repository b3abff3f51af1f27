// The scheduler of one HTTP stack: keeps its requests in registration order, starts them while
// fewer than maxRunning run, routes each transfer event to the request that owns the transfer,
// and enforces the attempt timeout and the retry delay. Main thread only. Requests belong to
// their owners; the manager never deletes one.
#pragma once

#include <cstdint>
#include <list>
#include <utility>

#include "commonlib/http/CurlListener.h"

class CHttpBase;

class CHttpMgr : public CurlListener {
 public:
  CHttpMgr() = default;
  ~CHttpMgr() override = default;

  void OnTransferDone(const CRefPtr<CCurlBase>& transfer, int curlCode) override;
  void OnRecvProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) override;
  void OnSendProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) override;
  void OnHeaders(const CRefPtr<CCurlBase>& transfer, int httpCode, const ProtoValue& headers) override;
  void OnTransferRemoved(const CRefPtr<CCurlBase>& transfer, int zero) override;
  void OnTransferAdded(const CRefPtr<CCurlBase>& transfer, int zero) override;

  // Registers the request; returns (requestId, addTick). A request that is not delayed is
  // scheduled at once.
  virtual std::pair<uint32_t, uint32_t> Add(CHttpBase* request);
  // Unregisters the request and frees its slot; always true.
  virtual bool Remove(CHttpBase* request);

  void Schedule();
  // Ends with (3, 3002) requests whose attempt has shown no activity for timeoutMs, or has run
  // longer than its maxAttemptMs whatever its activity.
  void CheckTimeouts();
  // Lets requests whose retry delay is over be scheduled again.
  void CheckRetryDelays();
  bool Contains(const CHttpBase* request) const;
  // Stack stop: detaches every request from this manager and its workshop, then stops each one
  // (Stop), so none is left started on a stack that no longer runs.
  void Clear();

  int RunningCount() const { return runningCount; }
  size_t RequestCount() const { return requests.size(); }

  static constexpr int kDefaultMaxRunning = 10;

  std::list<CHttpBase*> requests;
  int maxRunning = kDefaultMaxRunning;
  int runningCount = 0;

 private:
  CHttpBase* FindByTransfer(const CRefPtr<CCurlBase>& transfer) const;
  int CountScheduled() const;
};
