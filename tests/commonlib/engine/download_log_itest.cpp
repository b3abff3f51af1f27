// labels: threaded
// The statistics upload against our receiver: a real download's record, the speed lines, one
// upload in flight at a time, a record that cannot be converted, and a receiver that is down.
#include "commonlib/logger/DownloadLog.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <regex>
#include <string>

#include "commonlib/engine/TaskLog.h"
#include "commonlib/util/MD5.h"
#include "platform/text.h"
#include "tests/commonlib/engine/engine_test_support.h"
#include "tests/support/FreePort.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ServicesScope.h"
#include "tests/support/StatReceiver.h"
#include "tests/support/TraceCapture.h"

namespace {

using vkqx_test::ServicesScope;
using vkqx_test::StatReceiver;

Json::Value ParseData(const std::string& data) {
  Json::Value value;
  Json::Reader reader;
  EXPECT_TRUE(reader.parse(data, value)) << data;
  return value;
}

void ExpectIdentity(const Json::Value& record) {
  EXPECT_EQ(record["upload_platform"].asString(), "PC");
  EXPECT_EQ(record["product_id"].asString(), "mini_downloader|id:1008");
  EXPECT_EQ(record["version"].asString(), "1.0.2|mini_downloader|GameId:1008");
  EXPECT_TRUE(record["id"].isUInt() && record["id"].asUInt() == 0) << record.toStyledString();
  EXPECT_TRUE(std::regex_match(record["ftime"].asString(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
  EXPECT_TRUE(record["os"].asString().ends_with(" x64") || record["os"].asString().ends_with(" x32"));
  for (const char* key : {"mac", "login_ip"}) EXPECT_TRUE(record[key].isString()) << key;
}

class DownloadLogTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(receiver.Start()); }
  void TearDown() override { DownloadLog::GetInstance()->Destroy(); }
  void Init(const std::string& url) {
    DownloadLog::GetInstance()->Init(platform::Utf8ToWide(url), L"1.0.2|mini_downloader|GameId:1008",
                                     L"mini_downloader|id:1008");
  }
  bool Idle() { return ServicesScope::RunUntil([] { return !DownloadLog::GetInstance()->IsBusy(); }, 30000); }

  vkqx_test::TraceCapture trace;
  StatReceiver receiver;
  ServicesScope services;
};

TEST_F(DownloadLogTest, AFinishedDownloadIsUploadedOnceWithItsLogStatisticsAndIdentity) {
  engine_test::TempDrive drive;
  vkqx_test::NginxServer nginx;
  ASSERT_TRUE(nginx.Start());
  const std::string content(3 * 1024 * 1024 + 17, 'q');
  nginx.WriteFile("vkinstaller.exe", content);
  Init(receiver.Url());
  SetDownloadCallbacks(nullptr, [](uint32_t, int32_t, int32_t) {});
  const std::wstring url = platform::Utf8ToWide(nginx.Url("/vkinstaller.exe"));
  const char* tag = "{\n   \"game\" : \"QX_mini_downloader\",\n   \"type\" : 2\n}\n";
  ASSERT_TRUE(DownloadFile(L"", L"", url.c_str(), L"", L"C:\\vkinstaller.exe", static_cast<int64_t>(content.size()), 1,
                           0, tag));
  const bool done = ServicesScope::RunUntil([&] { return !receiver.Uploads().empty(); }, 60000);
  ASSERT_TRUE(done) << trace.Dump();
  ASSERT_TRUE(Idle());

  const std::vector<vkqx_test::StatUpload> uploads = receiver.Uploads();
  ASSERT_EQ(uploads.size(), 1u);
  const vkqx_test::StatUpload& upload = uploads.front();
  EXPECT_EQ(upload.status, 200);  // the signature is right
  EXPECT_EQ(upload.partNames, (std::vector<std::string>{"sign", "data"}));
  EXPECT_TRUE(std::regex_match(upload.sign, std::regex("[0-9a-f]{32}")));
  const Json::Value data = ParseData(upload.data);
  ASSERT_TRUE(data.isArray());
  ASSERT_EQ(data.size(), 1u);
  const Json::Value& record = data[0];
  ExpectIdentity(record);
  EXPECT_EQ(record["game"].asString(), "QX_mini_downloader");
  EXPECT_EQ(record["type"].asInt(), 2);
  EXPECT_EQ(record["file_name"].asString(), "vkinstaller.exe");
  EXPECT_EQ(record["size"].asInt64(), static_cast<int64_t>(content.size()));
  EXPECT_EQ(record["status"].asInt(), 1);
  for (const char* key : {"download_size", "time_comsuming", "avg_speed", "is_cdn"})
    EXPECT_TRUE(record[key].isIntegral()) << key;
  const Json::Value& log = record["log"];
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0]["下载源速度分析"].isArray());
  EXPECT_GE(log[0]["下载源速度分析"].size(), 1u);
  EXPECT_GE(log[1]["下载日志"].size(), 2u);
  EXPECT_TRUE(log[2]["网络分析"].isArray() && log[2]["网络分析"].empty());
  // People read these records: text travels as UTF-8, not as \u escapes.
  EXPECT_NE(upload.data.find("下载日志"), std::string::npos);
  EXPECT_EQ(upload.data.find("\\u"), std::string::npos);
  EXPECT_EQ(trace.Count(L"发送网络日志统计 url:" + platform::Utf8ToWide(receiver.Url())), 1u);
  EXPECT_EQ(trace.Count(L"下载日志统计上传结果 0:0 {\"code\":0}"), 1u) << trace.Dump();
  EXPECT_TRUE(CDownloadTaskQueue::GetInstance()->Records().empty());
}

// A record finished by hand: one source with 10 MiB in 20 s, one with bytes but no time.
CRefPtr<CTaskLog> SpeedRecord() {
  engine_test::ManualClock clock(5000, 1700000000000);
  CRefPtr<CTaskLog> record(new CTaskLog());
  CDownloadTaskQueue::GetInstance()->AddRecord(record);
  record->AddSourceBytes(L"域名源", 10485760);
  uint32_t start = 5000;
  clock.Advance(20000);
  record->AddSourceTime(L"域名源", start);
  record->AddSourceBytes(L"无时间源", 4096);
  record->AppendLine(L"任务状态", L"下载完成 code:0");
  record->Stats()[L"size"] = 10485760;
  record->m_finished = true;
  return record;
}

TEST_F(DownloadLogTest, TheSpeedLineOfASource) {
  EXPECT_EQ(DownloadLog::SourceSpeedLine(L"源A", 10485760, 20000), L"源:源A,下载速度512.00 KB/秒，耗时20秒");
  EXPECT_EQ(DownloadLog::SourceSpeedLine(L"源B", 4096, 0), L"源:源B,下载速度0 B/秒，耗时0秒");

  Init(receiver.Url());
  CRefPtr<CTaskLog> record = SpeedRecord();
  DownloadLog::GetInstance()->ReportTaskLog(*record);
  ASSERT_TRUE(receiver.WaitForUploads(1, 30000));
  const Json::Value data = ParseData(receiver.Uploads()[0].data);
  const Json::Value& speeds = data[0]["log"][0]["下载源速度分析"];
  ASSERT_EQ(speeds.size(), 1u) << receiver.Uploads()[0].data;  // no line for the source without a time
  EXPECT_EQ(speeds[0].asString(), "源:域名源,下载速度512.00 KB/秒，耗时20秒");
  EXPECT_EQ(data[0]["log"][1]["下载日志"].size(), 1u);
  EXPECT_TRUE(CDownloadTaskQueue::GetInstance()->Records().empty());
  ASSERT_TRUE(Idle());
}

TEST_F(DownloadLogTest, RecordsArrivingWhileAnUploadIsInFlightTravelWithTheNextOne) {
  Init(receiver.Url());
  receiver.HoldAnswers();
  DownloadLog* log = DownloadLog::GetInstance();
  ProtoValue first(PV_MAP);
  first[L"n"] = 1;
  log->AddRecord(first);
  ASSERT_TRUE(receiver.WaitForUploads(1, 30000));
  ASSERT_TRUE(log->IsBusy());

  ProtoValue second(PV_MAP);
  second[L"n"] = 2;
  log->AddRecord(second);
  EXPECT_EQ(log->PendingCount(), 1u);
  receiver.Release();
  ASSERT_TRUE(Idle());
  ServicesScope::RunFor(300);
  EXPECT_EQ(receiver.Uploads().size(), 1u) << "a waiting record goes only with a later one";
  EXPECT_EQ(log->PendingCount(), 1u);

  ProtoValue third(PV_MAP);
  third[L"n"] = 3;
  log->AddRecord(third);
  ASSERT_TRUE(receiver.WaitForUploads(2, 30000));
  const Json::Value data = ParseData(receiver.Uploads()[1].data);
  ASSERT_EQ(data.size(), 2u);
  EXPECT_EQ(data[0]["n"].asInt(), 2);
  EXPECT_EQ(data[1]["n"].asInt(), 3);
  EXPECT_EQ(ParseData(receiver.Uploads()[0].data).size(), 1u);
  ASSERT_TRUE(Idle());
}

TEST_F(DownloadLogTest, StatisticsThatCannotBeConvertedGiveTheIdentityAlone) {
  Init(receiver.Url());
  // Statistics that are no map at all, and a map nested deeper than the JSON reader goes.
  ProtoValue binary("\x01\x02", 2);
  ProtoValue deep(PV_MAP);
  ProtoValue* level = &deep;
  for (int i = 0; i < 1100; ++i) level = &(*level)[L"d"];
  *level = 1;
  size_t uploads = 0;
  for (const ProtoValue* stats : {&binary, &deep}) {
    DownloadLog::GetInstance()->AddRecord(*stats);
    ASSERT_TRUE(receiver.WaitForUploads(++uploads, 30000));
    const Json::Value record = ParseData(receiver.Uploads().back().data)[0];
    ExpectIdentity(record);
    EXPECT_EQ(record.size(), 8u) << record.toStyledString();
    ASSERT_TRUE(Idle());
  }
}

TEST_F(DownloadLogTest, AReceiverThatIsDownCostsOneLogLine) {
  const uint16_t closed = vkqx_test::FreePort();
  Init("http://127.0.0.1:" + std::to_string(closed) + "/api/qx/data/rece_download_data");
  ProtoValue stats(PV_MAP);
  stats[L"n"] = 1;
  DownloadLog::GetInstance()->AddRecord(stats);
  ASSERT_TRUE(DownloadLog::GetInstance()->IsBusy());
  ASSERT_TRUE(Idle()) << trace.Dump();
  EXPECT_EQ(trace.Count(L"下载日志统计上传结果 "), 1u) << trace.Dump();
  EXPECT_EQ(trace.Count(L"下载日志统计上传结果 0:0"), 0u);
  EXPECT_EQ(DownloadLog::GetInstance()->PendingCount(), 0u);
}

TEST(DownloadLogTextTest, StyledTextKeepsItsLayoutWithUtf8Text) {
  Json::Value value(Json::arrayValue);
  value[0]["name"] = "安装 \xF0\x9D\x84\x9E";
  value[0]["escaped"] = "a\\u00e9\"\n\x01";
  const std::string text = DownloadLog::StyledUtf8(value);
  EXPECT_NE(text.find("\"name\" : \"安装 \xF0\x9D\x84\x9E\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"escaped\" : \"a\\\\u00e9\\\"\\n\\u0001\""), std::string::npos) << text;
  Json::Value back;
  ASSERT_TRUE(Json::Reader().parse(text, back));
  EXPECT_EQ(back, value);
}

}  // namespace
