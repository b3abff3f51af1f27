#include "commonlib/http/CurlHttp.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <string_view>

#include "commonlib/http/CurlEvents.h"
#include "commonlib/http/HttpHeaderLine.h"
#include "commonlib/logger/Log.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace {

constexpr size_t kLoggedErrorBodyBytes = 1000;
constexpr uint32_t kRecvProgressIntervalMs = 10;
constexpr uint32_t kSendProgressIntervalMs = 100;

bool IsErrorStatus(int httpCode) { return httpCode < 100 || httpCode > 399; }

// An interim (1xx) or redirect (3xx) status is followed by another response whose status
// replaces it; 700 means none has been read yet.
bool StatusMayChange(int httpCode) {
  return httpCode == 700 || (httpCode >= 100 && httpCode <= 199) || (httpCode >= 300 && httpCode <= 399);
}

// Logging may itself fail for want of memory; nothing may leave a callback.
void LogCallbackFailure(const wchar_t* callback, const char* what) noexcept {
  try {
    LOGE(L"CCurlHttp::%s 回调异常，传输终止 %s", callback, platform::AnsiToWide(what));
  } catch (...) {
  }
}

// Runs a callback's work; an exception (memory running out in a sink, a map or a posted event)
// must not unwind through curl's C frames, so it becomes `failure`, which ends the transfer.
template <typename Result, typename Work>
Result Guarded(const wchar_t* callback, Result failure, Work&& work) noexcept {
  try {
    return work();
  } catch (const std::exception& e) {
    LogCallbackFailure(callback, e.what());
  } catch (...) {
    LogCallbackFailure(callback, "");
  }
  return failure;
}

}  // namespace

CCurlHttp::CCurlHttp(CCurlWorkshop* workshop, CurlListener* listener) : CCurlBase(workshop, listener) {}

CCurlHttp::~CCurlHttp() {
  {
    CAutoLock guard(&m_ioLock);
    if (sink) sink->Close();
    if (source) source->Close();
    sink.reset();
    source.reset();
  }
  FreeCurlLists();
}

void CCurlHttp::FreeCurlLists() {
  if (connectToList != nullptr) {
    curl_slist_free_all(connectToList);
    connectToList = nullptr;
  }
  if (form != nullptr) {
    curl_mime_free(form);
    form = nullptr;
  }
}

std::string CCurlHttp::GetPrimaryIp() {
  CAutoLock guard(&m_ipLock);
  return m_primaryIp;
}

void CCurlHttp::ReadStatus() {
  long status = 0;
  const CURLcode rc = curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  if (rc == CURLE_OK && status != 0) httpCode = static_cast<int>(status);
  char* ip = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip != nullptr) {
    CAutoLock guard(&m_ipLock);
    m_primaryIp = ip;
  }
  if (rc != CURLE_OK || IsErrorStatus(httpCode)) {
    LOGE(L"CCurlHttp::OnRecieveHeader HTTP error code:%d httpcode:%d ", static_cast<int>(rc), httpCode);
  }
  if (httpCode == 200 && rangeRequested) {
    LOGI(L"httpcode==200 不支持断点续传，清空文件");
    CAutoLock guard(&m_ioLock);
    if (sink && !m_closed) sink->Dispose();
  }
}

size_t CCurlHttp::OnRecieveHeader(const char* data, size_t length) {
  if (StatusMayChange(httpCode)) ReadStatus();
  if (IsErrorStatus(httpCode)) {
    PostHeaders(CRefPtr<CCurlBase>(this), httpCode, ProtoValue());
    return length;
  }
  const HeaderLine line = ParseHeaderLine(data, length);
  if (line.kind == HeaderLineKind::kEndOfBlock) {
    PostHeaders(CRefPtr<CCurlBase>(this), httpCode, headers);
  } else if (line.kind == HeaderLineKind::kField) {
    headers[line.name.c_str()] = ProtoValue(line.value);
  }
  return length;
}

size_t CCurlHttp::OnRecieveBody(const char* data, size_t length) {
  if (IsErrorStatus(httpCode)) {
    const std::string_view shown(data, std::min(length, kLoggedErrorBodyBytes));
    LOGE(L"CCurlHttp::OnRecieveBody HTTP error  httpcode:%d %s", httpCode, platform::AnsiToWide(shown));
    return 0;
  }
  CAutoLock guard(&m_ioLock);
  if (!sink || m_closed) return 0;
  const int written = sink->Write(data, length);
  if (written < 0) {
    LOGE(L"CCurlHttp::OnRecieveBody  Write file error %d", sink->LastError());
    return 0;
  }
  return static_cast<size_t>(written);
}

size_t CCurlHttp::OnSendBody(char* buffer, size_t length) {
  CAutoLock guard(&m_ioLock);
  if (!source || m_closed || uploadSize == 0 || uploadSent >= uploadSize) return 0;
  const uint64_t wanted = std::min<uint64_t>(length, uploadSize - uploadSent);
  const int read = source->Read(buffer, static_cast<size_t>(wanted));
  if (read < 0) {
    LOGE(L"CCurlHttp::OnSendBody  Read file error %d", errno);
    return 0;
  }
  uploadSent += static_cast<uint64_t>(read);
  return static_cast<size_t>(read);
}

bool CCurlHttp::RewindSource(uint64_t offset) {
  CAutoLock guard(&m_ioLock);
  if (!source || m_closed || offset > uploadSize || !source->Seek(offset)) return false;
  uploadSent = offset;
  return true;
}

void CCurlHttp::Close() {
  CAutoLock guard(&m_ioLock);
  m_closed = true;
  if (sink) sink->Close();
  if (source) source->Close();
}

size_t CurlHeaderCallback(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<CCurlHttp*>(user);
  if (transfer == nullptr || !transfer->active) return 0;
  return Guarded(L"OnRecieveHeader", size_t{0}, [&] { return transfer->OnRecieveHeader(data, size * count); });
}

size_t CurlWriteCallback(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<CCurlHttp*>(user);
  if (transfer == nullptr || !transfer->active) return 0;
  return Guarded(L"OnRecieveBody", size_t{0}, [&] {
    const CRefPtr<CCurlBase> hold(transfer);
    const size_t result = transfer->OnRecieveBody(data, size * count);
    transfer->pendingBytes += result;
    if (transfer->reportProgress) {
      const uint32_t now = platform::GetTickCount();
      if (now - transfer->lastReportTick > kRecvProgressIntervalMs) {
        transfer->lastReportTick = now;
        PostRecvProgress(hold, static_cast<unsigned int>(transfer->pendingBytes));
        transfer->pendingBytes = 0;
      }
    }
    return result;
  });
}

size_t CurlReadCallback(char* buffer, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<CCurlHttp*>(user);
  if (transfer == nullptr || !transfer->active) return 0;
  // 0 would only end the body early; an exception aborts the upload.
  return Guarded(L"OnSendBody", static_cast<size_t>(CURL_READFUNC_ABORT), [&] {
    const CRefPtr<CCurlBase> hold(transfer);
    const size_t result = transfer->OnSendBody(buffer, size * count);
    if (transfer->reportProgress) {
      const uint32_t now = platform::GetTickCount();
      if (now - transfer->lastReportTick > kSendProgressIntervalMs) {
        transfer->lastReportTick = now;
        PostSendProgress(hold, static_cast<unsigned int>(result));
      }
    }
    return result;
  });
}

int CurlSeekCallback(void* user, curl_off_t offset, int origin) {
  auto* transfer = static_cast<CCurlHttp*>(user);
  if (transfer == nullptr || !transfer->active) return CURL_SEEKFUNC_FAIL;
  // curl only ever asks for a position from the start of the body.
  if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
  return Guarded(L"RewindSource", int{CURL_SEEKFUNC_FAIL}, [&] {
    return transfer->RewindSource(static_cast<uint64_t>(offset)) ? int{CURL_SEEKFUNC_OK} : int{CURL_SEEKFUNC_CANTSEEK};
  });
}
