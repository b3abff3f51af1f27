// The transfer of one block request. It is a CCurlHttp whose body sink is the block's writer, and
// it shows the writer each response at the end of its header block, on the transfer thread,
// before any byte of that response's body is written: a 200 to a range request, a Content-Range
// other than the block's or an error status is refused there, so not one byte of a wrong body
// reaches the data file (the main thread learns of it only later).
#pragma once

#include <atomic>
#include <cstdint>

#include "commonlib/http/CurlHttp.h"

class CVKDownloadFileIO;

class CCurlDownloadHttp : public CCurlHttp {
 public:
  CCurlDownloadHttp(CCurlWorkshop* workshop, CurlListener* listener) : CCurlHttp(workshop, listener) {}

  size_t OnRecieveHeader(const char* data, size_t length) override;

  // The sink as the block writer it always is; null before one was set.
  CVKDownloadFileIO* Writer() const;

  // Microseconds from the request's last byte sent to the answer's first byte, by curl's own
  // clock on the transfer thread: neither connecting nor the main thread's delays are in it.
  // -1 until the headers of an answer that is not a redirect have ended. Any thread; set before
  // the headers' event is posted.
  int64_t ResponseLatencyUs() const { return m_responseLatencyUs.load(std::memory_order_acquire); }
  void SetResponseLatencyUs(int64_t us) { m_responseLatencyUs.store(us, std::memory_order_release); }

 private:
  std::atomic<int64_t> m_responseLatencyUs{-1};
};
