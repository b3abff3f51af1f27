// The download statistics upload: every finished download task's log record becomes one JSON
// record (its statistics, its log in three sections and the identity of the machine and of this
// installer); queued records are sent as one JSON array, signed with MD5 over a fixed key followed
// by the text, in a multipart POST ("sign", then "data"). At most one upload is in flight; its
// outcome is only logged. Main thread only.
//
// Built into the download engine's library (it reads the engine's log record and posts through an
// HTTP command), though it belongs with the loggers by what it does.
#pragma once

#include <json/value.h>

#include <memory>
#include <string>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/thread/Lock.h"
#include "commonlib/thread/Singleton.h"

class CHttpCommand;
class CTaskLog;

class DownloadLog : public CSingleton<DownloadLog> {
 public:
  // At start-up, after the HTTP stacks exist.
  void Init(const std::wstring& url, const std::wstring& version, const std::wstring& productId);
  // A finished task's record: statistics completed, log sections added, queued for upload unless
  // the target was complete before the run, and released by the task queue.
  void ReportTaskLog(CTaskLog& record);
  // Queues one record built from the statistics map and sends what is queued unless an upload is
  // in flight.
  void AddRecord(const ProtoValue& stats);
  // At exit: records still queued are dropped, an upload in flight is stopped.
  void Destroy();

  // The upload's completion (user data 0).
  static void OnUploadDone(void* userData, const std::string& body, int type, int code);

  // The "data" text of an array of records: jsoncpp's styled layout with text as UTF-8 bytes.
  static std::string StyledUtf8(const Json::Value& value);
  // The "下载源速度分析" line of one source.
  static std::wstring SourceSpeedLine(const std::wstring& source, int64_t bytes, int64_t milliseconds);

  bool IsBusy();
  // Records waiting (0 when none or not initialised).
  size_t PendingCount();

  static constexpr char kSignKey[] = "Hq3Lm8Wz0Rb5Tc7N";

 private:
  friend class CSingleton<DownloadLog>;
  DownloadLog();
  ~DownloadLog();

  bool Send();

  std::unique_ptr<Json::Value> records;
  std::unique_ptr<CHttpCommand> command;
  std::wstring url;
  std::wstring version;
  std::wstring productId;
  std::wstring os;
  std::wstring mac;
  std::string loginIp;
  std::string signKey;
  bool busy = false;
  CLock lock;
};
