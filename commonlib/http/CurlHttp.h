// An HTTP transfer: the response headers and status, the body sink and upload source, and the
// curl lists built for one attempt. Configured once by its request's Prepare and used for one
// transfer only; the next attempt gets a new one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/core/BaseStream.h"
#include "commonlib/http/CurlBase.h"
#include "commonlib/thread/Lock.h"

class CCurlHttp : public CCurlBase {
 public:
  CCurlHttp(CCurlWorkshop* workshop, CurlListener* listener);
  ~CCurlHttp() override;

  size_t OnRecieveHeader(const char* data, size_t length) override;
  size_t OnRecieveBody(const char* data, size_t length) override;
  size_t OnSendBody(char* buffer, size_t length) override;
  void Close() override;
  // Puts the upload back to `offset` bytes from its start, for a body curl must send again (a
  // 307 or 308 redirect, a connection that died before the answer); false when it cannot.
  bool RewindSource(uint64_t offset);

  // The address curl connected to, as far as it was seen. Safe on any thread.
  std::string GetPrimaryIp();

  // Guards the sink and the source against Close and against readers on the main thread while
  // the workshop thread may still be writing (an attempt that timed out is still running).
  CLock& IoLock() { return m_ioLock; }
  bool IsClosed() const { return m_closed; }

  // Frees the curl lists and the form of an earlier configuration; Prepare calls it after
  // curl_easy_reset, when curl no longer refers to them.
  void FreeCurlLists();

  // Workshop thread while running; the main thread reads them only through events or after
  // OnTransferDone.
  ProtoValue headers;
  int httpCode = 700;  // 700: no status read yet
  uint64_t uploadSize = 0;
  uint64_t uploadSent = 0;
  bool rangeRequested = false;  // set by the download engine before the transfer starts
  std::unique_ptr<OBaseStream> sink;    // set by the owner before the transfer starts
  std::unique_ptr<IBaseStream> source;  // the upload body, if any
  curl_slist* connectToList = nullptr;
  curl_mime* form = nullptr;

 private:
  void ReadStatus();

  CLock m_ioLock;
  bool m_closed = false;  // under m_ioLock
  CLock m_ipLock;
  std::string m_primaryIp;  // under m_ipLock
};

// The callbacks installed on every easy handle; the user data is the CCurlHttp. None lets an
// exception through to curl: one that throws ends its transfer instead.
size_t CurlHeaderCallback(char* data, size_t size, size_t count, void* user);
size_t CurlWriteCallback(char* data, size_t size, size_t count, void* user);
size_t CurlReadCallback(char* buffer, size_t size, size_t count, void* user);
int CurlSeekCallback(void* user, curl_off_t offset, int origin);
