// The base of every HTTP request: what it asks for, the bookkeeping of the scheduler and of the
// retry logic, the transfer of the current attempt and the result map its outcome is read from.
// Main thread only; the transfer's callbacks run on the workshop thread and touch only the
// CCurlHttp.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/http/CurlHttp.h"
#include "commonlib/http/ErrorType.h"
#include "commonlib/thread/RefPtr.h"

class CCurlWorkshop;
class CHttpMgr;

class CHttpBase {
 public:
  CHttpBase(CCurlWorkshop* workshop, CHttpMgr* manager);
  CHttpBase(const CHttpBase&) = delete;
  CHttpBase& operator=(const CHttpBase&) = delete;

  virtual const std::wstring& GetUrl();
  // Pins the next transfer's connections to the URL's host and port to ip:port; a redirect to any
  // other host or port connects normally. An empty ip unpins.
  virtual void SetIP(const std::wstring& ip, uint16_t port);
  // More than 500 ms since delayTick.
  virtual bool IsRetryDue();
  // Stops the request first.
  virtual ~CHttpBase();
  // Configures the transfer's easy handle; always true.
  virtual bool Prepare();
  // (0, 0): started; (3, -1): already started.
  virtual HttpOutcome Start();
  // Abandons the attempt and unregisters the request; always true.
  virtual bool Stop();
  virtual void OnTransferAdded();
  virtual void OnTransferRemoved();
  // The attempt ended with this outcome; (0, 0) is success.
  virtual void Done(int type, int code) = 0;
  // Redirect handling: a 3xx drops the pinned address for the next attempt.
  virtual void OnHeaders(int httpCode, const ProtoValue& headers);
  virtual void OnProgress(int64_t bytes);

  // The outcome read from the result map.
  HttpOutcome Classify() const;
  // Deactivates, closes and releases the current transfer.
  void ReleaseTransfer();
  void AddFormField(const std::string& name, const std::string& value);
  void ClearFormFields();

  // A result-map entry: result[name of type]["code"] = code.
  void SetResult(int type, int64_t code);

  CRefPtr<CCurlHttp> transfer;
  CHttpMgr* manager;
  // The manager's listener number (CurlListener::Serial) when it was bound: a manager that has
  // been destroyed, or replaced by another at the same address, is never touched.
  uint64_t managerSerial = 0;
  CCurlWorkshop* workshop;
  std::vector<std::string> connectTo;
  std::vector<std::pair<std::string, std::string>> formFields;
  bool started = false;
  std::wstring url;
  uint32_t requestId = 0;
  uint32_t addTick = 0;
  int method = 1;  // 1 GET, 2 POST
  uint64_t rangeStart = 0;
  uint64_t rangeEnd = 0;  // inclusive; 0 for the end of the resource
  uint64_t postSize = 0;
  uint32_t startCount = 0;
  bool scheduled = false;
  ProtoValue result;
  int maxRetries = 2;
  int connectTimeout = 5;  // seconds
  bool delayed = false;
  uint32_t delayTick = 0;
  bool verifyHost = false;
  uint32_t startTick = 0;  // 0 when no attempt is under way; refreshed by activity
  uint32_t timeoutMs = 0;  // 0 for none
  // When the current attempt started (0 when none), never refreshed, and the most the attempt may
  // last however active it keeps (0 for no bound): a server that trickles cannot hold it for ever.
  uint32_t attemptTick = 0;
  uint32_t maxAttemptMs = 0;
  bool redirected = false;

  static constexpr const char* kUserAgent = "HTTP-VKQX-1.0";
  static constexpr uint32_t kRetryDelayMs = 500;

 private:
  void SetRangeOption(CURL* easy) const;
  void SetConnectToOption(CURL* easy);
  void SetFormOption(CURL* easy);
};

// The range text for curl: "start-", "start-end" or empty for the whole resource.
std::string RangeText(uint64_t rangeStart, uint64_t rangeEnd);
