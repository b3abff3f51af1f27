// The request base without a network: the range text, the outcome classification, the error-type
// names, pinning and its removal by a redirect, and the start/stop bookkeeping.
#include <gtest/gtest.h>

#include <string>

#include "commonlib/http/ErrorType.h"
#include "commonlib/http/HttpBase.h"
#include "commonlib/http/HttpMgr.h"
#include "tests/commonlib/http/HttpTestSupport.h"

namespace {

class PlainRequest : public CHttpBase {
 public:
  explicit PlainRequest(CHttpMgr* manager = nullptr) : CHttpBase(nullptr, manager) {}
  void Done(int type, int code) override { last = {type, code}; }
  HttpOutcome last{-1, -1};
};

TEST(ErrorTypeTest, NamesAreIndexedByTypeNumber) {
  const wchar_t* expected[] = {L"ok", L"sys", L"crt", L"user", L"http", L"curl", L"webkit", L"dp"};
  for (int type = 0; type < kErrorTypeCount; ++type) EXPECT_STREQ(expected[type], ErrorTypeName(type)) << type;
  EXPECT_EQ(nullptr, ErrorTypeName(-1));
  EXPECT_EQ(nullptr, ErrorTypeName(8));
}

TEST(HttpBaseTest, RangeTextByStartAndEnd) {
  struct Case {
    uint64_t start, end;
    const char* text;
  } cases[] = {
      {0, 0, ""},
      {100, 0, "100-"},
      {0, 99, "0-99"},
      {100, 100, ""},
      {200, 100, ""},
      {4294967296ull, 8589934591ull, "4294967296-8589934591"},
      {18446744073709551614ull, 18446744073709551615ull, "18446744073709551614-18446744073709551615"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.text, RangeText(c.start, c.end)) << c.start << "-" << c.end;
}

TEST(HttpBaseTest, ClassifyTakesTheFirstMatchingRule) {
  struct Entry {
    const wchar_t* name;
    int64_t code;
  };
  struct Case {
    std::vector<Entry> entries;
    HttpOutcome expected;
  } cases[] = {
      {{}, {0, 0}},
      {{{L"http", 404}, {L"curl", 23}}, {4, 404}},
      {{{L"http", 200}, {L"curl", 28}}, {5, 28}},
      {{{L"http", 200}}, {0, 0}},
      {{{L"http", 302}, {L"curl", 0}}, {0, 0}},
      {{{L"http", 99}}, {4, 99}},
      {{{L"http", 400}}, {4, 400}},
      {{{L"sys", 112}, {L"http", 404}, {L"curl", 23}}, {1, 112}},
      {{{L"sys", 0}, {L"user", 3002}, {L"curl", 7}}, {3, 3002}},
      {{{L"user", 2005}, {L"http", 500}}, {3, 2005}},
      {{{L"crt", 28}}, {0, 0}},
      {{{L"crt", 28}, {L"curl", 23}}, {5, 23}},
  };
  for (const Case& c : cases) {
    PlainRequest request;
    for (const Entry& e : c.entries) request.result[e.name][L"code"] = e.code;
    EXPECT_EQ(c.expected, request.Classify()) << c.entries.size();
  }
}

TEST(HttpBaseTest, ClassifyOfAResultThatIsNotAMapIsSuccess) {
  PlainRequest request;
  request.result = ProtoValue(7);
  EXPECT_EQ(HttpOutcome(0, 0), request.Classify());
  request.result = ProtoValue();
  request.result[L"curl"] = ProtoValue(L"not a map");
  EXPECT_EQ(HttpOutcome(0, 0), request.Classify());
}

TEST(HttpBaseTest, SetIpPinsAndAnEmptyIpUnpinsSilently) {
  vkqx_test::TraceCapture trace;
  PlainRequest request;
  request.url = L"http://example.test/file";
  request.SetIP(L"127.0.0.2", 8080);
  ASSERT_EQ(1u, request.connectTo.size());
  EXPECT_EQ("example.test:80:127.0.0.2:8080", request.connectTo[0]);  // the URL's host and port only
  EXPECT_EQ(1u, trace.Count(L"设置iphttp://example.test/file--127.0.0.2:8080"));

  trace.Clear();
  request.SetIP(L"", 80);
  EXPECT_TRUE(request.connectTo.empty());
  EXPECT_TRUE(trace.Lines().empty());
}

TEST(HttpBaseTest, RedirectDropsThePinForTheNextAttemptOnce) {
  vkqx_test::TraceCapture trace;
  PlainRequest request;
  request.SetIP(L"127.0.0.2", 80);
  request.OnHeaders(200, ProtoValue());
  EXPECT_FALSE(request.redirected);
  EXPECT_EQ(1u, request.connectTo.size());

  request.OnHeaders(301, ProtoValue());
  EXPECT_TRUE(request.redirected);
  EXPECT_TRUE(request.connectTo.empty());
  request.OnHeaders(302, ProtoValue());
  EXPECT_EQ(1u, trace.Count(L"取消指定ip"));
}

TEST(HttpBaseTest, StopOfAnIdleRequestOnlyEmptiesTheForm) {
  PlainRequest request;
  request.AddFormField("sign", "abc");
  request.SetIP(L"127.0.0.3", 443);
  request.startTick = 5;
  EXPECT_TRUE(request.Stop());
  EXPECT_TRUE(request.formFields.empty());
  EXPECT_EQ(1u, request.connectTo.size());  // the pin outlives the attempt
  EXPECT_EQ(5u, request.startTick);
  EXPECT_FALSE(request.started);
}

TEST(HttpBaseTest, SecondStartIsRefusedAndCountsNothing) {
  PlainRequest request;
  EXPECT_EQ(HttpOutcome(0, 0), request.Start());
  EXPECT_EQ(1u, request.startCount);
  EXPECT_EQ(HttpOutcome(3, -1), request.Start());
  EXPECT_EQ(1u, request.startCount);
  request.Stop();
  EXPECT_EQ(HttpOutcome(0, 0), request.Start());
  EXPECT_EQ(2u, request.startCount);
}

TEST(HttpBaseTest, StopUnregistersFromTheManager) {
  CHttpMgr manager;
  PlainRequest request(&manager);
  manager.Add(&request);
  EXPECT_TRUE(request.started);
  EXPECT_EQ(1, manager.runningCount);
  request.Stop();
  EXPECT_EQ(nullptr, request.manager);
  EXPECT_FALSE(manager.Contains(&request));
  EXPECT_EQ(0, manager.runningCount);
}

TEST(HttpBaseTest, PrepareConfiguresAFreshTransfer) {
  PlainRequest request;
  request.url = L"http://127.0.0.1:1/x";
  request.transfer = CRefPtr<CCurlHttp>(new CCurlHttp(nullptr, nullptr));
  request.transfer->httpCode = 404;
  request.transfer->uploadSent = 9;
  request.SetIP(L"127.0.0.2", 1);
  request.AddFormField("a", "b");
  EXPECT_TRUE(request.Prepare());
  EXPECT_NE(nullptr, request.transfer->easy);
  EXPECT_EQ(700, request.transfer->httpCode);
  EXPECT_EQ(0u, request.transfer->uploadSent);
  EXPECT_NE(nullptr, request.transfer->connectToList);
  EXPECT_NE(nullptr, request.transfer->form);
}

TEST(HttpBaseTest, RetryIsDueOnlyAfterMoreThan500Ms) {
  http_test::FakeTicks ticks;
  PlainRequest request;
  request.delayTick = ticks.Tick();
  EXPECT_FALSE(request.IsRetryDue());
  ticks.Advance(500);
  EXPECT_FALSE(request.IsRetryDue());
  ticks.Advance(1);
  EXPECT_TRUE(request.IsRetryDue());
  request.delayTick = ticks.Tick() + 1000;  // a tick count not yet past delayTick
  EXPECT_FALSE(request.IsRetryDue());
}

}  // namespace
