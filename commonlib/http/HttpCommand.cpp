#include "commonlib/http/HttpCommand.h"

#include <cstdint>
#include <unordered_map>
#include <utility>

#include "commonlib/core/BufferStream.h"
#include "commonlib/http/BoundedBodySink.h"
#include "commonlib/http/HttpMgr.h"
#include "commonlib/http/HttpStack.h"
#include "commonlib/logger/Log.h"
#include "commonlib/thread/MainThreadTask.h"
#include "commonlib/util/CommonUtils.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace {

constexpr uint32_t kResolverStopTimeoutMs = 100;
// Parts of a resolver answer shorter than this are not addresses ("1.2.3.4" is seven).
constexpr size_t kShortestAddress = 8;

uint32_t IdValue(const void* id) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(id)); }

// The command behind each live request token. Main thread only; never destroyed, since commands
// may outlive function statics.
std::unordered_map<uintptr_t, CHttpCommand*>& LiveRequests() {
  static auto* live = new std::unordered_map<uintptr_t, CHttpCommand*>;
  return *live;
}
uintptr_t g_lastRequestToken = 0;

// The response was more than the command allows: the same server would send it again, so the
// request moves on to the next stage as after an error status.
bool IsBodyTooLarge(int type, int code) { return type == ET_USER && code == kUserBodyTooLarge; }

std::vector<std::wstring> SplitAddresses(const std::wstring& list) {
  std::vector<std::wstring> parts;
  size_t begin = 0;
  while (begin <= list.size()) {
    size_t end = list.find(L';', begin);
    if (end == std::wstring::npos) end = list.size();
    std::wstring part = list.substr(begin, end - begin);
    if (part.size() >= kShortestAddress) parts.push_back(std::move(part));
    begin = end + 1;
  }
  return parts;
}

}  // namespace

CHttpCommand::CHttpCommand() : CHttpBase(GetCommandWorkshop(), GetCommandHttpMgr()) {
  timeoutMs = kAttemptTimeoutMs;
  maxAttemptMs = kMaxAttemptMs;
  NewRequestToken();
}

CHttpCommand::~CHttpCommand() {
  dnsThread.DestroyThread(kResolverStopTimeoutMs);
  LiveRequests().erase(m_requestToken);
  CHttpBase::Stop();
}

void CHttpCommand::NewRequestToken() {
  LiveRequests().erase(m_requestToken);
  m_requestToken = ++g_lastRequestToken;
  LiveRequests()[m_requestToken] = this;
}

void* CHttpCommand::ResolverId() const { return reinterpret_cast<void*>(m_requestToken); }

bool CHttpCommand::Get(const std::wstring& newUrl, void* data, CommandCompletion onDone) {
  if (started) return false;
  if (newUrl.size() < 3 && urls.empty()) return false;
  method = 1;
  return Submit(newUrl, data, onDone);
}

bool CHttpCommand::Post(const std::string& postBody, const std::wstring& newUrl, CommandCompletion onDone,
                        void* data) {
  if (started) return false;
  if (newUrl.size() < 3 && urls.empty()) return false;
  body = postBody;
  postSize = body.size();
  method = 2;
  return Submit(newUrl, data, onDone);
}

bool CHttpCommand::Submit(const std::wstring& newUrl, void* data, CommandCompletion onDone) {
  if (started) return false;
  if (newUrl.size() >= 3) urls.push_back(newUrl);
  if (urls.empty()) return false;
  completion = onDone;
  userData = data;
  SortHttpsFirst(urls);
  domainUrl = GetUrl();
  ipListActive = false;
  // An address written literally is never re-resolved.
  if (IsIpAddress(GetHostFromUrl(domainUrl))) domainUrl.clear();
  return Resubmit();
}

bool CHttpCommand::Resubmit() {
  result = ProtoValue();
  CHttpMgr* commandMgr = GetCommandHttpMgr();
  if (commandMgr == nullptr) return false;
  manager = commandMgr;
  // A command that outlived a stopped stack joins the running one.
  workshop = GetCommandWorkshop();
  commandMgr->Add(this);
  return true;
}

const std::wstring& CHttpCommand::GetUrl() {
  if (!urls.empty()) return urls.front();
  if (!ips.empty()) return domainUrl;
  return m_emptyUrl;
}

HttpOutcome CHttpCommand::Start() {
  if (started) return {ET_OK, 0};
  ReleaseTransfer();
  transfer = CRefPtr<CCurlHttp>(new CCurlHttp(workshop, manager));
  transfer->sink = std::make_unique<CBoundedBodySink>(maxBodyBytes);
  if (method == 2 && !body.empty()) transfer->source = std::make_unique<IBufferStream>(body.data(), body.size(), true);
  return CHttpBase::Start();
}

bool CHttpCommand::Prepare() {
  if (urls.empty() && !domainUrl.empty() && !ips.empty() && ips.front() != m_unpinnedIp) {
    LOGI(L"CHttpCommand setip %s %s", GetUrl(), ips.front());
    SetIP(ips.front(), static_cast<uint16_t>(GetPortFromUrl(domainUrl)));
  }
  return CHttpBase::Prepare();
}

void CHttpCommand::OnHeaders(int httpCode, const ProtoValue& headers) {
  const bool pinned = !connectTo.empty();
  CHttpBase::OnHeaders(httpCode, headers);
  // The pin is gone for the next attempt: Prepare must not put it back for the same address.
  if (pinned && connectTo.empty() && urls.empty() && !ips.empty()) m_unpinnedIp = ips.front();
  startTick = platform::GetTickCount();  // every header event restarts the attempt clock
  SetResult(ET_HTTP, httpCode);
}

bool CHttpCommand::Stop() {
  StopAttempt();
  EndRequest();
  return true;
}

void CHttpCommand::StopAttempt() {
  dnsThread.DestroyThread(kResolverStopTimeoutMs);
  CHttpBase::Stop();
}

void CHttpCommand::StopKeepingForm() {
  std::vector<std::pair<std::string, std::string>> form = formFields;
  StopAttempt();
  formFields = std::move(form);
}

void CHttpCommand::EndRequest() {
  urls.clear();
  ips.clear();
  domainUrl.clear();
  ipListActive = false;
  startCount = 0;
  delayed = false;
  // The address chosen for this request's host is no choice for the next request.
  connectTo.clear();
  m_unpinnedIp.clear();
  NewRequestToken();
}

void CHttpCommand::DelayRetry() {
  delayed = true;
  delayTick = platform::GetTickCount();
}

std::wstring CHttpCommand::CurrentIp() {
  if (!transfer) return std::wstring();
  return platform::AnsiToWide(transfer->GetPrimaryIp());
}

std::string CHttpCommand::SinkBytes() {
  if (!transfer) return std::string();
  CAutoLock guard(&transfer->IoLock());
  if (transfer->IsClosed()) return std::string();
  const auto* buffer = dynamic_cast<const OBufferStream*>(transfer->sink.get());
  if (buffer == nullptr || buffer->GetData() == nullptr) return std::string();
  return std::string(reinterpret_cast<const char*>(buffer->GetData()), buffer->GetLength());
}

void CHttpCommand::PostCompletion(const std::string& outcomeBody, int type, int code) {
  if (completion != nullptr) PostMainThreadTask(completion, userData, outcomeBody, type, code);
}

void CHttpCommand::Done(int type, int code) {
  const std::wstring ip = CurrentIp();
  if (type == ET_CURL) {
    SetResult(ET_CURL, code);
    if (transfer && transfer->sink) {
      const OBaseStream& sink = *transfer->sink;
      if (sink.LastError() != 0 || sink.ErrorKind() != 0) SetResult(sink.ErrorKind(), sink.LastError());
    }
    std::tie(type, code) = Classify();
    // Certificate check failures: curl reports them as 60 since it merged the old 51 into it.
    if (type == ET_CURL && (code == 51 || code == 60)) LOGI(L"ssl 验证失败:%s", GetUrl());
  }
  const std::string outcomeBody = SinkBytes();
  const bool failed = (type == ET_CURL && code != 0) || (type == ET_USER && code == kUserAttemptTimeout);
  const bool httpError = (type == ET_HTTP && code != 0) || IsBodyTooLarge(type, code);
  const uint32_t limit = (urls.size() > 1 || !ips.empty()) ? 1u : static_cast<uint32_t>(maxRetries);

  if (startCount <= limit && failed) {  // the same address again
    StopKeepingForm();
    LOGE(L"CHttpCommand::Done() 重试.... type:%d code:%d  url:%s ", type, code, GetUrl());
    DelayRetry();
    Resubmit();
    return;
  }
  if (urls.size() > 1 && (failed || httpError)) {  // the spare URL
    StopKeepingForm();
    startCount = 0;
    const std::wstring failedUrl = GetUrl();
    urls.erase(urls.begin());
    LOGI(L"CHttpCommand::Done() type:%d code:%d  url:%s ip:%s 连接失败，尝试使用备用地址:%s", type, code, failedUrl,
         ip, GetUrl());
    DelayRetry();
    Resubmit();
    return;
  }
  if (ipListActive && !ips.empty()) ips.erase(ips.begin());  // the address just tried
  if (!domainUrl.empty()) {
    if (!ips.empty() && (failed || httpError)) {  // the next address
      StopKeepingForm();
      startCount = 0;
      DelayRetry();
      urls.clear();
      LOGI(L"CHttpCommand::Done() 重试ip列表.... type:%d code:%d  url:%s", type, code, GetUrl());
      ipListActive = true;
      Resubmit();
      return;
    }
    if (!ipListActive && (failed || httpError)) {  // resolve the host again
      startCount = 0;
      LOGI(L"CHttpDownloadFileFile::Done() 开始重试DNS解析.... type:%d code:%d  url:%s ", type, code, domainUrl);
      DelayRetry();
      // The command stays registered and started until the answer comes (OnDNSResult); a host the
      // resolver refuses ends the request here instead of leaving it waiting for nothing.
      const std::string host = platform::WideToUtf8(GetHostFromUrl(domainUrl));
      if (dnsThread.Resolve(host, ResolverId(), &CHttpCommand::OnResolverAnswer)) return;
    }
  }
  StopAttempt();
  if (type != ET_OK) LOGE(L"CHttpCommand::Done() type:%d code:%d  url:%s ", type, code, GetUrl());
  EndRequest();
  PostCompletion(outcomeBody, type, code);
}

void CHttpCommand::OnResolverAnswer(int code, void* id, const std::string& resolvedDomain, const std::string& ipList) {
  if (code != 0 || ipList.empty()) {
    LOGI(L"cmd_dns_result_callback 失败 code:%d, domain:%s ,id:0x%x", code, resolvedDomain, IdValue(id));
  } else {
    LOGI(L"cmd_dns_result_callback 解析成功 code:%d, domain:%s, ip_list:%s, id:0x%x", 0, resolvedDomain, ipList,
         IdValue(id));
  }
  // The id names a request, not an object: a command stopped or destroyed since (and any other
  // command now at its address) no longer answers to it.
  CHttpMgr* commandMgr = GetCommandHttpMgr();
  const auto live = LiveRequests().find(reinterpret_cast<uintptr_t>(id));
  CHttpCommand* command = live != LiveRequests().end() ? live->second : nullptr;
  if (id != nullptr && command != nullptr && commandMgr != nullptr && commandMgr->Contains(command)) {
    command->OnDNSResult(platform::Utf8ToWide(resolvedDomain), platform::Utf8ToWide(ipList));
    return;
  }
  LOGE(L"DNS回调失效 找不到相关任务 id:0x%x %s", IdValue(id), resolvedDomain);
}

void CHttpCommand::OnDNSResult(const std::wstring& resolvedDomain, const std::wstring& ipList) {
  StopKeepingForm();
  const auto [type, code] = Classify();
  urls.clear();
  ips.clear();
  if (domainUrl.empty()) {
    LOGI(L"CHttpCommand::OnDNSResult() 状态不对，忽略 type:%d code:%d  url:%s ", type, code, GetUrl());
    ClearFormFields();
    EndRequest();
    PostCompletion(std::string(), type, code);
    return;
  }
  ips = SplitAddresses(ipList);
  m_unpinnedIp.clear();
  if (!resolvedDomain.empty() && !ips.empty()) {
    startCount = 0;
    DelayRetry();
    LOGI(L"CHttpDownloadFile::Done() 重试DNS解析到的ip列表.... type:%d code:%d  url:%s ", type, code, GetUrl());
    ipListActive = true;
    Resubmit();
    return;
  }
  LOGI(L"CHttpCommand::OnDNSResult() 解析DNS失败 type:%d code:%d  url:%s ", type, code, GetUrl());
  ClearFormFields();
  EndRequest();
  PostCompletion(std::string(), type, code);
}
