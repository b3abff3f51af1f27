#include "commonlib/engine/TaskLog.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/format.h"
#include "tests/commonlib/engine/engine_test_support.h"

namespace {

std::wstring Stamp() {
  const platform::LocalTime t = platform::GetLocalTime();
  return platform::StrFormat(L"[%d-%02d-%02d %02d:%02d:%02d]", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

TEST(TaskLogTest, EventLineLayout) {
  engine_test::ManualClock clock(5000, 1531819040000);  // 2018-07-17 09:17:20 UTC
  CRefPtr<CTaskLog> log(new CTaskLog());
  EXPECT_EQ(L"", log->LastLine());
  log->AppendLine(kLogTaskState, platform::StrFormat(L"开始下载:%s", L"http://dl.example/a.exe"));
  EXPECT_EQ(Stamp() + L" [任务状态] 开始下载:http://dl.example/a.exe", log->LastLine());
  clock.Advance(1000);
  log->AppendLine(kLogSourceSelect, L"选取IP源：127.0.0.2");
  ASSERT_EQ(2u, log->Lines().size());
  EXPECT_EQ(Stamp() + L" [选取源] 选取IP源：127.0.0.2", log->LastLine());
}

TEST(TaskLogTest, SourceCounters) {
  engine_test::ManualClock clock(1000, 0);
  CTaskLog log;
  log.AddSourceBytes(L"127.0.0.2", 1310720);
  log.AddSourceBytes(L"127.0.0.2", 100);
  log.AddSourceBytes(L"", 5);  // a source without a name is not counted
  EXPECT_EQ((std::map<std::wstring, int64_t>{{L"127.0.0.2", 1310820}}), log.BytesBySource());

  uint32_t firstStart = 1000;
  clock.Advance(60000);
  log.AddSourceTime(L"dl.example", firstStart);
  EXPECT_EQ(61000u, firstStart);
  log.AddSourceTime(L"dl.example", firstStart);  // the same span is not counted twice
  uint32_t neverStarted = 0;
  log.AddSourceTime(L"cdn.example", neverStarted);
  EXPECT_EQ((std::map<std::wstring, int64_t>{{L"cdn.example", 0}, {L"dl.example", 60000}}), log.TimeBySource());
}

TEST(TaskLogTest, SavedRecordSpansRestarts) {
  CTaskLog first;
  first.AppendLine(kLogTaskState, L"开始下载:u");
  first.AddSourceBytes(L"a", 10);
  uint32_t tick = 0;
  first.AddSourceTime(L"a", tick);
  ProtoValue saved;
  first.SaveTo(saved);

  for (int run = 2; run <= 3; ++run) {
    CTaskLog next;
    next.AppendLine(kLogTaskState, L"开始下载:u");
    next.AddSourceBytes(L"a", 99);  // replaced by the saved value
    next.AddSourceBytes(L"b", 7);
    TaskLogSnapshot snapshot;
    ASSERT_TRUE(CTaskLog::Parse(saved, snapshot));
    next.Restore(snapshot);
    ASSERT_EQ(static_cast<size_t>(run), next.Lines().size());
    for (const std::wstring& line : next.Lines()) EXPECT_NE(std::wstring::npos, line.find(L"开始下载:u"));
    EXPECT_EQ(10, next.BytesBySource().at(L"a"));
    EXPECT_EQ(7, next.BytesBySource().at(L"b"));
    saved.clear();
    next.SaveTo(saved);
  }
}

TEST(TaskLogTest, ParseRefusesWrongKinds) {
  auto build = [](const wchar_t* key, const ProtoValue& value) {
    ProtoValue map;
    map[key] = value;
    return map;
  };
  ProtoValue stringMap;
  stringMap[L"a"] = L"x";
  ProtoValue intArray;
  intArray.push_back(ProtoValue(1));
  const ProtoValue cases[] = {
      ProtoValue(5),  build(L"tl", ProtoValue(L"x")), build(L"tl", intArray),
      build(L"ws", ProtoValue(3)), build(L"ws", stringMap), build(L"it", intArray),
  };
  for (const ProtoValue& c : cases) {
    TaskLogSnapshot out;
    EXPECT_FALSE(CTaskLog::Parse(c, out));
  }
  TaskLogSnapshot empty;
  EXPECT_TRUE(CTaskLog::Parse(ProtoValue(), empty));
  EXPECT_TRUE(empty.lines.empty());
}

TEST(TaskLogTest, FillStatistics) {
  CTaskLog log;
  log.FillStatistics(10000000, 10000000, 30000, 1, true);
  const ProtoValue& s = log.Stats();
  EXPECT_EQ(10000000, s.Lookup(L"size").integer());
  EXPECT_EQ(10000000, s.Lookup(L"download_size").integer());
  EXPECT_EQ(30, s.Lookup(L"time_comsuming").integer());
  EXPECT_EQ(333333, s.Lookup(L"avg_speed").integer());
  EXPECT_EQ(1, s.Lookup(L"status").integer());
  EXPECT_EQ(1, s.Lookup(L"is_cdn").integer());

  log.FillStatistics(100, 100, 400, 2, false);
  EXPECT_EQ(1, log.Stats().Lookup(L"time_comsuming").integer());
  EXPECT_EQ(250, log.Stats().Lookup(L"avg_speed").integer());
  EXPECT_EQ(0, log.Stats().Lookup(L"is_cdn").integer());
  log.FillStatistics(100, 0, 0, 2, false);
  EXPECT_EQ(0, log.Stats().Lookup(L"avg_speed").integer());
}

TEST(TaskLogTest, KeepsOnlyTheNewestLinesAcrossRestarts) {
  // Each restart adds lines and the meta file carries them all: what is kept must stay bounded.
  CTaskLog saved;
  for (size_t i = 0; i < CTaskLog::kMaxLines + 40; ++i) saved.AppendLine(kLogTaskState, std::to_wstring(i));
  ASSERT_EQ(saved.Lines().size(), CTaskLog::kMaxLines);
  EXPECT_NE(saved.Lines().front().find(L"] 40"), std::wstring::npos);
  ProtoValue map(PV_MAP);
  saved.SaveTo(map);
  TaskLogSnapshot snapshot;
  ASSERT_TRUE(CTaskLog::Parse(map, snapshot));
  CTaskLog next;
  next.AppendLine(kLogTaskState, L"this run");
  next.Restore(snapshot);
  ASSERT_EQ(next.Lines().size(), CTaskLog::kMaxLines);
  EXPECT_NE(next.Lines().back().find(L"this run"), std::wstring::npos);
  EXPECT_NE(next.Lines().front().find(L"] 41"), std::wstring::npos);
}

}  // namespace
