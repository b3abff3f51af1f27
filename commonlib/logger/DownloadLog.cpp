#include "commonlib/logger/DownloadLog.h"

#include <json/reader.h>
#include <json/writer.h>

#include <ctime>

#include "commonlib/engine/DownloadTask.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/engine/TaskLog.h"
#include "commonlib/http/HttpCommand.h"
#include "commonlib/logger/Log.h"
#include "commonlib/util/CommonUtils.h"
#include "commonlib/util/HostIdentity.h"
#include "commonlib/util/MD5.h"
#include "commonlib/util/ProtoValueJsonConvertor.h"
#include "platform/format.h"
#include "platform/os_version.h"
#include "platform/text.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The four hexadecimal digits after "\u" at text[at], or -1.
int32_t EscapedUnit(const std::string& text, size_t at) {
  if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
  int32_t unit = 0;
  for (size_t k = at + 2; k < at + 6; ++k) {
    const int digit = HexValue(text[k]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

void AppendUtf8(uint32_t cp, std::string& out) {
  if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  }
  out += static_cast<char>(0x80 | (cp & 0x3F));
}

}  // namespace

DownloadLog::DownloadLog() : signKey(kSignKey) {}

DownloadLog::~DownloadLog() = default;

std::string DownloadLog::StyledUtf8(const Json::Value& value) {
  // The styled writer escapes every character past ASCII as \uXXXX (pairs above U+FFFF). Only the
  // writer's own escapes are undone, each "\x" pair read as one unit, so an escaped backslash
  // followed by "u" stays as it is; control characters and lone surrogates stay escaped.
  const std::string escaped = Json::StyledWriter().write(value);
  std::string out;
  out.reserve(escaped.size());
  for (size_t i = 0; i < escaped.size();) {
    if (escaped[i] != '\\' || i + 1 >= escaped.size()) {
      out += escaped[i++];
      continue;
    }
    const int32_t unit = EscapedUnit(escaped, i);
    if (unit >= 0x80 && (unit < 0xD800 || unit > 0xDFFF)) {
      AppendUtf8(static_cast<uint32_t>(unit), out);
      i += 6;
      continue;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const int32_t low = EscapedUnit(escaped, i + 6);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00),
                   out);
        i += 12;
        continue;
      }
    }
    out.append(escaped, i, 2);
    i += 2;
  }
  return out;
}

std::wstring DownloadLog::SourceSpeedLine(const std::wstring& source, int64_t bytes, int64_t milliseconds) {
  const uint64_t speed =
      milliseconds > 0 ? static_cast<uint64_t>(bytes) * 1000 / static_cast<uint64_t>(milliseconds) : 0;
  return platform::StrFormat(L"源:%s,下载速度%s/秒，耗时%d秒", source, FormatSize(speed, true),
                             static_cast<int32_t>(milliseconds / 1000));
}

void DownloadLog::Init(const std::wstring& newUrl, const std::wstring& newVersion, const std::wstring& newProductId) {
  CAutoLock guard(&lock);
  records = std::make_unique<Json::Value>();
  command = std::make_unique<CHttpCommand>();
  busy = false;
  url = newUrl;
  version = newVersion;
  productId = newProductId;
  // A process on a 64-bit system (natively or through the 32-bit layer) reports " x64".
  const uint16_t arch = platform::GetProcessorArchitecture();
  const bool wide = arch == platform::PROCESSOR_ARCHITECTURE_AMD64 || arch == platform::PROCESSOR_ARCHITECTURE_ARM64;
  os = GetOSName() + (wide ? L" x64" : L" x32");
  mac = GetMacAddress();
  loginIp = GetLocalIp();
  LOGI(L"DownloadLog::Init url:%s version:%s product_id:%s os:%s", url, version, productId, os);
}

void DownloadLog::ReportTaskLog(CTaskLog& record) {
  if (!record.m_finished) return;
  if (CDownloadTask* task = record.Task()) {
    task->FillStatistics();
    record.DetachTask();
  }
  ProtoValue speeds(PV_ARRAY);
  for (const auto& [source, bytes] : record.BytesBySource()) {
    auto time = record.TimeBySource().find(source);
    if (time == record.TimeBySource().end()) continue;
    speeds.push_back(ProtoValue(SourceSpeedLine(source, bytes, time->second)));
  }
  ProtoValue lines(PV_ARRAY);
  for (const std::wstring& line : record.Lines()) lines.push_back(ProtoValue(line));
  ProtoValue log(PV_ARRAY);
  log.push_back(ProtoValue(PV_MAP));
  log[0][L"下载源速度分析"] = speeds;
  log.push_back(ProtoValue(PV_MAP));
  log[1][L"下载日志"] = lines;
  log.push_back(ProtoValue(PV_MAP));
  log[2][L"网络分析"] = ProtoValue(PV_ARRAY);
  record.Stats()[L"log"] = log;
  if (!record.m_alreadyComplete) AddRecord(record.Stats());
  CDownloadTaskQueue::GetInstance()->RemoveRecord(&record);
}

void DownloadLog::AddRecord(const ProtoValue& stats) {
  CAutoLock guard(&lock);
  if (url.empty() || !records) return;
  Json::Value record;
  std::wstring json;
  if (ProtoValueToJson(stats, json)) {
    const std::string utf8 = platform::WideToUtf8(json);
    Json::Reader reader;
    try {
      if (!reader.parse(utf8, record, true)) record = Json::Value();
    } catch (const std::exception&) {
      record = Json::Value();  // nesting beyond the reader's limit is thrown, not returned
    }
  }
  // Only an object takes the identity keys; anything else the conversion gave is replaced.
  if (!record.isObject()) record = Json::Value(Json::objectValue);
  record["upload_platform"] = "PC";
  record["product_id"] = platform::WideToUtf8(productId);
  record["login_ip"] = loginIp;
  record["mac"] = platform::WideToUtf8(mac);
  record["os"] = platform::WideToUtf8(os);
  record["version"] = platform::WideToUtf8(version);
  record["id"] = Json::UInt(0);
  record["ftime"] = platform::WideToUtf8(FormatTime(static_cast<int64_t>(std::time(nullptr))));
  records->append(record);
  Send();
}

bool DownloadLog::Send() {
  CAutoLock guard(&lock);
  if (!command || busy) return false;
  if (!records || records->isNull() || records->empty()) return false;
  const std::string data = StyledUtf8(*records);
  if (!data.empty()) {
    command->ClearFormFields();
    const std::string keyed = signKey + data;
    MD5 digest(keyed.data(), keyed.size());
    const std::string sign = digest.hex_digest();
    command->AddFormField("sign", sign);
    command->AddFormField("data", data);
    if (command->Post("", url, &DownloadLog::OnUploadDone, nullptr)) busy = true;
    LOGI(L"发送网络日志统计 url:%s data:%s sign:%s", url, platform::Utf8ToWide(data), sign);
  }
  *records = Json::Value();
  return true;
}

void DownloadLog::OnUploadDone(void*, const std::string& body, int type, int code) {
  DownloadLog* self = GetInstance();
  CAutoLock guard(&self->lock);
  LOGI(L"下载日志统计上传结果 %d:%d %s", type, code, platform::Utf8ToWide(body));
  self->busy = false;
}

void DownloadLog::Destroy() {
  CAutoLock guard(&lock);
  records.reset();
  command.reset();
  busy = false;
}

bool DownloadLog::IsBusy() {
  CAutoLock guard(&lock);
  return busy;
}

size_t DownloadLog::PendingCount() {
  CAutoLock guard(&lock);
  return records && records->isArray() ? records->size() : 0;
}
