#include "commonlib/http/HttpBase.h"

#include "commonlib/http/CurlWorkshop.h"
#include "commonlib/http/HttpMgr.h"
#include "commonlib/http/LoopbackGuard.h"
#include "commonlib/logger/Log.h"
#include "commonlib/util/CommonUtils.h"
#include "platform/clock.h"
#include "platform/format.h"
#include "platform/text.h"

std::string RangeText(uint64_t rangeStart, uint64_t rangeEnd) {
  if (rangeStart != 0 && rangeEnd == 0) return platform::StrFormat("%I64u-", rangeStart);
  if (rangeEnd > rangeStart) return platform::StrFormat("%I64u-%I64u", rangeStart, rangeEnd);
  return std::string();
}

CHttpBase::CHttpBase(CCurlWorkshop* workshop, CHttpMgr* manager)
    : manager(manager), managerSerial(manager != nullptr ? manager->Serial() : 0), workshop(workshop) {}

CHttpBase::~CHttpBase() { CHttpBase::Stop(); }

const std::wstring& CHttpBase::GetUrl() { return url; }

void CHttpBase::SetIP(const std::wstring& ip, uint16_t port) {
  connectTo.clear();
  if (ip.empty()) return;
  LOGI(L"设置ip%s--%s:%u", GetUrl(), ip, static_cast<unsigned>(port));
  // Only the URL's own host and port: a redirect elsewhere must reach the server it names.
  const std::wstring host = GetHostFromUrl(GetUrl());
  const std::wstring from =
      host.empty() ? std::wstring(L":") : platform::StrFormat(L"%s:%d", host, GetPortFromUrl(GetUrl()));
  connectTo.push_back(platform::WideToAnsi(platform::StrFormat(L"%s:%s:%u", from, ip, static_cast<unsigned>(port))));
}

bool CHttpBase::IsRetryDue() {
  const uint32_t now = platform::GetTickCount();
  const uint32_t elapsed = now > delayTick ? now - delayTick : 0;
  return elapsed > kRetryDelayMs;
}

bool CHttpBase::Prepare() {
  if (!transfer) return true;
  CCurlHttp* const t = transfer.get();
  if (t->easy != nullptr) {
    curl_easy_reset(t->easy);
  } else {
    t->easy = curl_easy_init();
  }
  t->uploadSize = 0;
  t->uploadSent = 0;
  t->httpCode = 700;
  t->headers = ProtoValue();
  t->FreeCurlLists();
  CURL* const easy = t->easy;
  if (easy == nullptr) return true;  // the workshop drops it; the timeout ends the request

  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  const std::string ansiUrl = platform::WideToAnsi(GetUrl());
  curl_easy_setopt(easy, CURLOPT_URL, ansiUrl.c_str());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlHeaderCallback);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, t);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlWriteCallback);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, t);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CurlReadCallback);
  curl_easy_setopt(easy, CURLOPT_READDATA, t);
  curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &CurlSeekCallback);
  curl_easy_setopt(easy, CURLOPT_SEEKDATA, t);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeout));
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, (verifyHost && IsHttps(GetUrl())) ? 2L : 0L);
  // A worker thread must never receive SIGALRM from curl's resolver timeouts.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  if (method == 2) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    if (t->source) {
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, static_cast<long>(postSize));
      t->uploadSize = postSize;
    }
  } else {
    SetRangeOption(easy);
  }
  SetConnectToOption(easy);
  SetFormOption(easy);
  ApplyLoopbackGuard(easy);
  return true;
}

void CHttpBase::SetRangeOption(CURL* easy) const {
  const std::string range = RangeText(rangeStart, rangeEnd);
  if (!range.empty()) curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());  // curl copies it
}

void CHttpBase::SetConnectToOption(CURL* easy) {
  if (connectTo.empty()) return;
  for (const std::string& entry : connectTo)
    transfer->connectToList = curl_slist_append(transfer->connectToList, entry.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECT_TO, transfer->connectToList);
}

void CHttpBase::SetFormOption(CURL* easy) {
  if (formFields.empty()) return;
  // One part per field, a name and the value copied as its data: the same parts on the wire as
  // the old form API's copied name and contents.
  curl_mime* form = curl_mime_init(easy);
  for (const auto& [name, value] : formFields) {
    curl_mimepart* part = curl_mime_addpart(form);
    curl_mime_name(part, name.c_str());
    curl_mime_data(part, value.data(), value.size());
  }
  transfer->form = form;
  curl_easy_setopt(easy, CURLOPT_MIMEPOST, form);
}

HttpOutcome CHttpBase::Start() {
  if (started) return {ET_USER, kUserAlreadyStarted};
  ++startCount;
  started = true;
  // The attempt's clocks run from here, not from the transfer's entry into the multi handle: a
  // transfer the workshop drops (no easy handle, refused by curl) sends no event, and must still
  // end through the timeout.
  startTick = platform::GetTickCount();
  attemptTick = startTick;
  Prepare();
  if (transfer && workshop != nullptr) workshop->AddTransfer(CRefPtr<CCurlBase>(transfer.get()));
  return {ET_OK, 0};
}

bool CHttpBase::Stop() {
  formFields.clear();
  if (started) {
    started = false;
    if (transfer && workshop != nullptr) workshop->RemoveTransfer(CRefPtr<CCurlBase>(transfer.get()));
    startTick = 0;
    attemptTick = 0;
  }
  ReleaseTransfer();
  if (manager != nullptr) {
    // A request bound to a stack that has been stopped since must not reach into it.
    if (CurlListener::IsAlive(manager, managerSerial)) manager->Remove(this);
    manager = nullptr;
  }
  return true;
}

void CHttpBase::ReleaseTransfer() {
  if (!transfer) return;
  transfer->active = false;
  transfer->Close();
  transfer.reset();
}

void CHttpBase::OnTransferAdded() { startTick = platform::GetTickCount(); }

void CHttpBase::OnTransferRemoved() {}

void CHttpBase::OnHeaders(int httpCode, const ProtoValue& headers) {
  if (httpCode < 300 || httpCode > 399) return;
  redirected = true;
  if (!connectTo.empty()) {
    connectTo.clear();
    LOGI(L"取消指定ip");
  }
}

void CHttpBase::OnProgress(int64_t bytes) {}

void CHttpBase::AddFormField(const std::string& name, const std::string& value) {
  formFields.emplace_back(name, value);
}

void CHttpBase::ClearFormFields() { formFields.clear(); }

void CHttpBase::SetResult(int type, int64_t code) {
  const wchar_t* name = ErrorTypeName(type);
  if (name == nullptr) return;
  result[name][L"code"] = ProtoValue(code);
}

namespace {

// result[name]["code"] when result is a map holding name; 0 otherwise.
int64_t ResultCode(const ProtoValue& result, const wchar_t* name) {
  if (result.type() != PV_MAP || !result.HasKey(name)) return 0;
  const ProtoValue& entry = result.Lookup(name).Lookup(L"code");
  return entry.type() == PV_INTEGER ? entry.integer() : 0;
}

bool HasEntry(const ProtoValue& result, const wchar_t* name) {
  return result.type() == PV_MAP && result.HasKey(name);
}

}  // namespace

HttpOutcome CHttpBase::Classify() const {
  if (HasEntry(result, L"sys")) {
    const int64_t code = ResultCode(result, L"sys");
    if (code != 0) return {ET_SYS, static_cast<int>(code)};
  }
  if (HasEntry(result, L"user")) {
    const int64_t code = ResultCode(result, L"user");
    if (code != 0) return {ET_USER, static_cast<int>(code)};
  }
  if (HasEntry(result, L"http")) {
    const int64_t code = ResultCode(result, L"http");
    if (code < 100 || code > 399) return {ET_HTTP, static_cast<int>(code)};
  }
  if (HasEntry(result, L"curl")) {
    const int64_t code = ResultCode(result, L"curl");
    if (code != 0) return {ET_CURL, static_cast<int>(code)};
  }
  return {ET_OK, 0};
}
