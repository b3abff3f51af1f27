#include "commonlib/peer/HttpDownloadPeer.h"

#include <algorithm>
#include <cwctype>

#include "commonlib/engine/DAEventRegistry.h"
#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/http/HttpMgr.h"
#include "commonlib/logger/Log.h"
#include "commonlib/peer/CurlDownloadHttp.h"
#include "commonlib/util/CommonUtils.h"
#include "platform/clock.h"
#include "platform/format.h"
#include "platform/text.h"

namespace {

// Larger reads mean fewer write calls and fewer wake-ups of the transfer thread per block.
constexpr long kReceiveBufferBytes = 256 * 1024;

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  const std::wstring_view other(b);
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(other[i])) return false;
  }
  return true;
}

// A response header by name, whatever case the server wrote it in; null when absent.
const ProtoValue* FindHeader(const ProtoValue& headers, const wchar_t* name) {
  const ProtoValue::Map* map = headers.GetMap();
  if (map == nullptr) return nullptr;
  for (const auto& [key, value] : *map) {
    if (EqualsNoCase(key, name) && value.type() == PV_STRING) return &value;
  }
  return nullptr;
}

bool IsRedirect(int httpCode) { return httpCode >= 300 && httpCode <= 399; }

}  // namespace

CHttpDownloadPeer::CHttpDownloadPeer(const std::wstring& url, const std::wstring& path, bool pinned)
    : CDownloadPeer(path), CHttpBase(GetDownloadWorkshop(), GetDownloadHttpMgr()), m_isIpPeer(pinned) {
  this->url = url;
  timeoutMs = kTimeoutMs;
}

CHttpDownloadPeer::~CHttpDownloadPeer() {
  m_block = nullptr;
  Stop();
}

std::wstring CHttpDownloadPeer::GetHost() { return GetHostFromUrl(GetUrl()); }

std::wstring CHttpDownloadPeer::GetName() {
  if (!m_isCdn && !redirected && !m_ip.empty()) return GetIp();
  return GetHost();
}

std::wstring CHttpDownloadPeer::Describe() { return platform::StrFormat(L"p2p:0 url:%s", GetUrl()); }

bool CHttpDownloadPeer::StartBlock(DownloadBlock* block) {
  if (m_firstStartTick == 0) m_firstStartTick = platform::GetTickCount();
  if (started) return false;
  m_block = block;
  m_busy = true;
  CHttpMgr* const mgr = GetDownloadHttpMgr();
  if (mgr == nullptr) return false;
  manager = mgr;
  if (workshop == nullptr) workshop = GetDownloadWorkshop();
  m_starting = true;
  m_failedWhileStarting = false;
  mgr->Add(this);
  m_starting = false;
  // A start that failed at once is refused here, still busy, so that the task drops this source
  // instead of handing it the next block.
  return !m_failedWhileStarting;
}

void CHttpDownloadPeer::StopTransfer() {
  m_block = nullptr;
  Stop();
}

void CHttpDownloadPeer::SetIP(const std::wstring& ip, uint16_t port) {
  m_ip = ip;
  CHttpBase::SetIP(ip, port);
}

bool CHttpDownloadPeer::Prepare() {
  CHttpBase::Prepare();
  CURL* const easy = transfer ? transfer->easy : nullptr;
  if (easy == nullptr) return true;
  // The request text has no form for a range of one byte; a block of one byte still needs one,
  // or the server would send the whole file.
  if (transfer->rangeRequested && RangeText(rangeStart, rangeEnd).empty()) {
    const std::string range = platform::StrFormat("%I64u-%I64u", rangeStart, rangeEnd);
    curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  return true;
}

HttpOutcome CHttpDownloadPeer::Start() {
  if (m_block == nullptr) {
    LOGI(L"CHttpDownloadFile::Start() url:%s BLOCK==NULL", GetUrl());
    return {ET_USER, DL_ERROR_NO_BLOCK};
  }
  ReleaseTransfer();
  CRefPtr<CCurlDownloadHttp> next(new CCurlDownloadHttp(workshop, manager));
  next->reportProgress = true;
  transfer = next;

  const uint64_t length = m_block->Length();
  if (length != 0 && m_block->received > length) {
    LOGE(L"%s已经完成大小(%lld)超过预期(%lld)大小  ", m_path, static_cast<int64_t>(m_block->received),
         static_cast<int64_t>(length));
    return {ET_USER, kUserNothingToTransfer};
  }
  if (length != 0 && m_block->received == length) {
    LOGI(L"文件大小等于预计大小，下载已完成 %s pos:%d", m_path, static_cast<int>(length));
    return {ET_USER, kUserNothingToTransfer};
  }

  CRefPtr<CDownloadDataFile> file = m_dataFile;
  if (!file) {
    uint32_t error = 0;
    file = CDownloadDataFile::Open(m_path, &error);
    if (!file) return {ET_SYS, static_cast<int>(error)};
  }
  const uint64_t position = m_block->start + m_block->received;
  // Every block is asked for as a range, a first byte of a one-byte file too, so that every
  // answer carries a Content-Range to check against the block and the file.
  const bool ranged = true;
  auto writer = std::make_unique<CVKDownloadFileIO>();
  if (!writer->open(file, position, m_block->end, ranged)) {
    int32_t kind = 0;
    int32_t code = 0;
    writer->GetError(&kind, &code);
    writer->Close();
    return {kind, code};
  }
  writer->SetFileSize(m_fileSize);
  next->sink = std::move(writer);
  next->rangeRequested = ranged;
  LOGI(L"CHttpDownloadFile::Start() url:%s", GetUrl());
  m_attemptStart = position;
  m_bytesSinceActive = 0;
  rangeStart = position;
  rangeEnd = m_block->end;
  return CHttpBase::Start();
}

void CHttpDownloadPeer::SyncReceived() {
  if (m_block == nullptr || !transfer) return;
  CVKDownloadFileIO* const writer = static_cast<CCurlDownloadHttp*>(transfer.get())->Writer();
  if (writer == nullptr) return;
  const uint64_t written = std::min<uint64_t>((m_attemptStart - m_block->start) + writer->BytesWritten(), m_block->Length());
  if (written > m_block->received) m_block->received = static_cast<uint32_t>(written);
}

void CHttpDownloadPeer::OnProgress(int64_t bytes) {
  // A trickle must not hold its block for ever: the attempt's time-out is moved on only by useful
  // amounts of data, so a source far below any useful speed fails like a silent one and its
  // block goes back to the others.
  m_bytesSinceActive += static_cast<uint64_t>(bytes);
  if (m_bytesSinceActive >= kUsefulBytes) {
    startTick = platform::GetTickCount();
    m_bytesSinceActive = 0;
  }
  if (m_block != nullptr) m_block->received += static_cast<uint32_t>(bytes);
  m_meter.m_bytes += static_cast<uint32_t>(bytes);
}

ProtoValue CHttpDownloadPeer::EventMap() const {
  ProtoValue map(PV_MAP);
  map[L"peer"] = EventId();
  map[L"full_name"] = m_path;
  return map;
}

void CHttpDownloadPeer::Dispatch(int type, int et, int ec, const ProtoValue& map) {
  DAEventRegistry::GetInstance()->Dispatch(type, et, ec, map);
}

std::wstring CHttpDownloadPeer::ResolveLocation(const std::wstring& location) {
  // A relative location (a path, "v2/a.bin", "//host/a.bin") is resolved against the URL of the
  // request it answers, as the transfer itself follows it (RFC 3986, section 5).
  if (location.empty()) return location;
  CURLU* const resolved = curl_url();
  if (resolved == nullptr) return location;
  std::wstring result = location;
  char* text = nullptr;
  if (curl_url_set(resolved, CURLUPART_URL, platform::WideToUtf8(GetUrl()).c_str(), 0) == CURLUE_OK &&
      curl_url_set(resolved, CURLUPART_URL, platform::WideToUtf8(location).c_str(), 0) == CURLUE_OK &&
      curl_url_get(resolved, CURLUPART_URL, &text, 0) == CURLUE_OK) {
    result = platform::Utf8ToWide(text);
  }
  curl_free(text);
  curl_url_cleanup(resolved);
  return result;
}

void CHttpDownloadPeer::OnHeaders(int httpCode, const ProtoValue& headers) {
  const std::wstring ip = transfer ? platform::AnsiToWide(transfer->GetPrimaryIp()) : std::wstring();
  if (!ip.empty() && m_ip.empty()) {
    m_ip = ip;
    ProtoValue map = EventMap();
    map[L"server_ip"] = ip;
    Dispatch(DA_EVENT_RESOLVED, 0, 0, map);
  }
  if (!IsRedirect(httpCode)) {
    startTick = platform::GetTickCount();
    m_bytesSinceActive = 0;
    SetResult(ET_HTTP, httpCode);
    if (httpCode == 200 && transfer && transfer->rangeRequested) {
      LOGI(L"不支持断点续传 url:%s", GetUrl());
      Done(ET_HTTP, DL_ERROR_NO_RANGE);
      return;
    }
    const ProtoValue* lengthHeader = FindHeader(headers, L"Content-Length");
    if (lengthHeader != nullptr && m_block != nullptr) {
      const int64_t announced = platform::WideToInt64(lengthHeader->string());
      if (announced > 0) {
        const int64_t expected = static_cast<int64_t>(m_block->Length()) - static_cast<int64_t>(m_block->received);
        if (expected != 0 && expected != announced) {
          LOGE(L"长度不一致 预期值:%d 实际值:%lld url:%s ip:%s", static_cast<int32_t>(expected), announced, GetUrl(),
               m_ip);
          Done(ET_USER, DL_ERROR_LENGTH);
        }
      }
    }
    return;
  }

  const ProtoValue* locationHeader = FindHeader(headers, L"Location");
  const std::wstring location = locationHeader != nullptr ? ResolveLocation(locationHeader->string()) : std::wstring();
  LOGI(L"重定向中...  url:%s", GetUrl());
  ProtoValue map = EventMap();
  map[L"log_name"] = GetName();
  map[L"location"] = location;
  m_savedUrl = location;
  connectTo.clear();
  m_ip.clear();
  redirected = true;
  Dispatch(DA_EVENT_REDIRECT, 0, 0, map);
  if (m_isIpPeer) {
    m_isIpPeer = false;
    Done(ET_USER, DL_ERROR_REDIRECT_RETRY);
    return;
  }
  if (!m_savedUrl.empty()) url = m_savedUrl;
  m_savedUrl.clear();
}

void CHttpDownloadPeer::Done(int type, int code) {
  const std::wstring connected = transfer ? platform::AnsiToWide(transfer->GetPrimaryIp()) : std::wstring();
  LOGI(L"CHttpDownloadFile::Done() begin type:%d code:%d  url:%s ip:%s", type, code, GetUrl(), connected);

  // The writer knows why it refused a body (a 200 to a range, a range that does not fit the
  // block); its error must be read before the stop closes it, its byte count after.
  const CRefPtr<CCurlHttp> ended = transfer;
  CVKDownloadFileIO* const writer = ended ? static_cast<CCurlDownloadHttp*>(ended.get())->Writer() : nullptr;
  int32_t writerKind = 0;
  int32_t writerCode = 0;
  if (writer != nullptr) writer->GetError(&writerKind, &writerCode);
  Stop();
  if (writer != nullptr && m_block != nullptr) {
    // Progress reports come batched and may miss the last bytes; the writer's count is exact once
    // it is closed, so a retry continues at the first byte not on disk.
    const uint64_t written = (m_attemptStart - m_block->start) + writer->BytesWritten();
    m_block->received = static_cast<uint32_t>(std::min<uint64_t>(written, m_block->Length()));
  }

  if (type == ET_CURL) {
    if (code == CURLE_WRITE_ERROR && (writerKind == ET_USER || writerKind == ET_HTTP)) {
      type = writerKind;
      code = writerCode;
    } else {
      SetResult(ET_CURL, code);
      const HttpOutcome outcome = Classify();
      type = outcome.first;
      code = outcome.second;
    }
  }
  result = ProtoValue();
  // A transfer that ended cleanly but short of the block (a body cut at a chunk boundary) must
  // not pass for a complete block: the bytes it did not bring are not on disk.
  if (type == ET_OK && m_block != nullptr && m_block->received < m_block->Length()) {
    LOGE(L"长度不一致 预期值:%d 实际值:%lld url:%s ip:%s", static_cast<int32_t>(m_block->Length()),
         static_cast<int64_t>(m_block->received), GetUrl(), m_ip);
    type = ET_USER;
    code = DL_ERROR_LENGTH;
  }

  const bool retryable = (type == ET_CURL && code != 0) ||
                         (type == ET_USER && (code == kUserAttemptTimeout || code == DL_ERROR_REDIRECT_RETRY));
  CHttpMgr* const mgr = GetDownloadHttpMgr();
  if (retryable && startCount <= static_cast<uint32_t>(maxRetries) && mgr != nullptr) {
    LOGI(L"CHttpDownloadFile::Done() 重试.... type:%d code:%d  url:%s ip:%s", type, code, GetUrl(), connected);
    ProtoValue map = EventMap();
    map[L"et"] = type;
    map[L"ec"] = code;
    map[L"times"] = startCount;
    Dispatch(DA_EVENT_RETRY, 0, 0, map);
    if (type == ET_USER && code == DL_ERROR_REDIRECT_RETRY) {
      if (!m_savedUrl.empty()) url = m_savedUrl;
      m_savedUrl.clear();
    }
    delayed = true;
    delayTick = platform::GetTickCount();
    manager = mgr;
    mgr->Add(this);
    return;
  }

  if (type != ET_OK) {
    TraceLogger::GetInstance()->Log(LOG_ERROR, L"CHttpDownloadFile::Done() type:%d code:%d  url:%s ip:%s", type, code,
                                    GetUrl(), connected);
    LOGI(L"CHttpDownloadFile::Done() type:%d code:%d  url:%s ip:%s", type, code, GetUrl(), connected);
  }
  if (m_starting) {
    m_failedWhileStarting = true;
    return;
  }
  m_busy = false;
  Dispatch(DA_EVENT_DONE, type, code, EventMap());
  // The task may have deleted this source.
}
