// The receiver of a transfer's events. Every operation runs on the main thread, delivered through
// the main-thread task queue; the bound CRefPtr keeps the transfer alive until its event has run.
#pragma once

#include <cstdint>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/thread/RefPtr.h"

class CCurlBase;

class CurlListener {
 public:
  CurlListener(const CurlListener&) = delete;
  CurlListener& operator=(const CurlListener&) = delete;

  // curl reported the transfer finished with this CURLcode (0 success).
  virtual void OnTransferDone(const CRefPtr<CCurlBase>& transfer, int curlCode) = 0;
  // Body bytes received since the previous report (transfers with reportProgress only).
  virtual void OnRecvProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) = 0;
  // Size of the upload chunk just read (transfers with reportProgress only).
  virtual void OnSendProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) = 0;
  // End of a response's header block, or one header line of an error response (empty map).
  virtual void OnHeaders(const CRefPtr<CCurlBase>& transfer, int httpCode, const ProtoValue& headers) = 0;
  virtual void OnTransferRemoved(const CRefPtr<CCurlBase>& transfer, int zero) = 0;
  virtual void OnTransferAdded(const CRefPtr<CCurlBase>& transfer, int zero) = 0;

  // Whether `listener` is the listener numbered `serial` and has not been destroyed. An event
  // queued for the main thread can outlive the manager it names (a stack stopped while events were
  // in the queue); such an event is dropped instead of reaching freed memory, or a newer listener
  // that happens to live at the same address.
  static bool IsAlive(const CurlListener* listener, uint64_t serial);
  // This listener's number, unique in the process.
  uint64_t Serial() const { return m_serial; }

 protected:
  CurlListener();
  virtual ~CurlListener();

 private:
  const uint64_t m_serial;
};
