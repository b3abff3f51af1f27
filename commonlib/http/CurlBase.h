// A transfer: one curl easy handle and what its callbacks need, shared between the main thread
// (which configures and abandons it) and the workshop thread (which runs it). Always held through
// CRefPtr<CCurlBase>; the last reference, on either thread, destroys it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <curl/curl.h>

#include "commonlib/thread/RefPtr.h"

class CCurlWorkshop;
class CurlListener;

class CCurlBase : public CRefThreadSafeBase<CCurlBase> {
 public:
  CCurlBase(CCurlWorkshop* workshop, CurlListener* listener);
  CCurlBase(const CCurlBase&) = delete;
  CCurlBase& operator=(const CCurlBase&) = delete;
  // Frees the easy handle if the workshop has not.
  virtual ~CCurlBase();

  // The three curl callbacks' work; each returns the bytes consumed or produced, as curl expects
  // (0 ends the transfer, or the upload).
  virtual size_t OnRecieveHeader(const char* data, size_t length) = 0;
  virtual size_t OnRecieveBody(const char* data, size_t length) = 0;
  virtual size_t OnSendBody(char* buffer, size_t length) = 0;
  // Closes the body streams; called by the owner when it abandons the transfer.
  virtual void Close() = 0;

  // Created by the request's Prepare before AddTransfer; freed by the workshop when the transfer
  // ends or is removed. Between AddTransfer and then only the workshop thread touches it.
  CURL* easy = nullptr;
  CurlListener* const listener;
  // The listener's number when the transfer was made: events go to that listener only.
  const uint64_t listenerSerial;
  // Cleared by the owner to abandon the transfer; the callbacks check it on every call.
  std::atomic<bool> active{true};
  CCurlWorkshop* const workshop;
  // Set by the owner before AddTransfer.
  bool reportProgress = false;
  // Workshop thread only.
  uint64_t pendingBytes = 0;
  uint32_t lastReportTick = 0;
};
