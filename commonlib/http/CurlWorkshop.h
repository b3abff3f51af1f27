// The workshop: one worker thread driving a curl multi handle. The main thread hands transfers
// in (AddTransfer) and asks for them to be taken out (RemoveTransfer); the thread adds and removes
// easy handles, performs, runs the callbacks and posts every event to the main thread.
#pragma once

#include <cstdint>
#include <list>

#include <curl/curl.h>

#include "commonlib/http/CurlBase.h"
#include "commonlib/thread/Lock.h"
#include "commonlib/thread/RefPtr.h"
#include "commonlib/thread/SimpleThread.h"

class CCurlWorkshop : public CSimpleThread {
 public:
  CCurlWorkshop();
  CCurlWorkshop(const CCurlWorkshop&) = delete;
  CCurlWorkshop& operator=(const CCurlWorkshop&) = delete;
  ~CCurlWorkshop() override;

  // Creates the multi handle (once). Main thread, before StartThread.
  void Init();
  // Frees every easy handle still in the multi handle, then the multi handle, and empties the
  // lists. Main thread, after the thread has been stopped.
  void UnInit();

  // Queues a configured transfer (it must hold its easy handle); false without a multi handle.
  bool AddTransfer(const CRefPtr<CCurlBase>& transfer);
  // Queues a transfer for removal; false without a multi handle.
  bool RemoveTransfer(const CRefPtr<CCurlBase>& transfer);

  // Upper bound of one wait for socket activity, in milliseconds.
  static constexpr int kMaxWaitMs = 5;
  // Wait with no transfer at all: only a bound in case a wake-up is missed.
  static constexpr int kIdleWaitMs = 1000;

 protected:
  void Run() override;
  // Cuts the wait for socket activity short, so that the loop sees the stop request at once.
  void OnStopRequested() override;

 private:
  using TransferList = std::list<CRefPtr<CCurlBase>>;

  bool StopRequested() const;
  bool PerformStep();
  void QueueStep();
  void RetireQueued();
  void AddQueued();
  void FreeRetired();
  void WaitForActivity();
  int CompletionStep();
  void Wake();

  CURLM* multi = nullptr;
  TransferList pendingAdd;
  TransferList running;
  TransferList pendingRemove;
  TransferList retired;  // workshop thread only
  CLock lock;
};
