#include "commonlib/util/ProtoValueJsonConvertor.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/support/TraceCapture.h"

namespace {

std::wstring Wide(std::initializer_list<uint32_t> codePoints) {
  std::wstring s;
  for (uint32_t c : codePoints) s.push_back(static_cast<wchar_t>(c));
  return s;
}

ProtoValue Parsed(const std::wstring& json) {
  ProtoValue v;
  EXPECT_TRUE(JsonToProtoValue(json, v)) << std::string(json.begin(), json.end());
  return v;
}

struct FromJsonCase {
  const char* name;
  std::wstring json;
  ProtoValue expected;
};

class JsonToProtoValueTable : public ::testing::TestWithParam<FromJsonCase> {};

TEST_P(JsonToProtoValueTable, ConvertsByKind) {
  const ProtoValue v = Parsed(GetParam().json);
  EXPECT_EQ(v, GetParam().expected);
}

ProtoValue MapOf(const std::wstring& key, const ProtoValue& value) {
  ProtoValue v;
  v[key] = value;
  return v;
}

ProtoValue ListOf(std::initializer_list<ProtoValue> items) {
  ProtoValue v;
  for (const ProtoValue& item : items) v.push_back(item);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, JsonToProtoValueTable,
    ::testing::Values(
        FromJsonCase{"Null", L"null", ProtoValue()},
        FromJsonCase{"Integer", L"42", ProtoValue(42)},
        FromJsonCase{"Negative", L"-9223372036854775808", ProtoValue(std::numeric_limits<int64_t>::min())},
        FromJsonCase{"UnsignedMaxIsMinusOne", L"18446744073709551615", ProtoValue(-1)},
        FromJsonCase{"UnsignedAboveInt64Max", L"9223372036854775808", ProtoValue(std::numeric_limits<int64_t>::min())},
        FromJsonCase{"Real", L"1.5", ProtoValue(1.5)},
        FromJsonCase{"RealWithoutFraction", L"1e2", ProtoValue(100.0)},
        FromJsonCase{"True", L"{\"a\": true}", MapOf(L"a", ProtoValue(1))},
        FromJsonCase{"False", L"false", ProtoValue(0)},
        FromJsonCase{"Utf8String", L"\"h\u00e9\u4e2d\"", ProtoValue(L"h\u00e9\u4e2d")},
        FromJsonCase{"EscapedSurrogatePair", L"\"\\ud83d\\ude00\"", ProtoValue(Wide({0x1F600}))},
        FromJsonCase{"EmptyArrayIsNull", L"[]", ProtoValue()},
        FromJsonCase{"EmptyObjectIsNull", L"{}", ProtoValue()},
        FromJsonCase{"NestedEmptyArrayIsNullElement", L"[[], 1]", ListOf({ProtoValue(), ProtoValue(1)})},
        FromJsonCase{"Array", L"[1, \"x\", null, 2.5]",
                     ListOf({ProtoValue(1), ProtoValue(L"x"), ProtoValue(), ProtoValue(2.5)})},
        FromJsonCase{"CommentsAllowed", L"// note\n[1] /* end */", ListOf({ProtoValue(1)})},
        FromJsonCase{"TrailingTextIgnored", L"[1] x", ListOf({ProtoValue(1)})},
        FromJsonCase{"StopsAtNul", std::wstring(L"[1]\0garbage", 11), ListOf({ProtoValue(1)})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JsonToProtoValue, ObjectMembersBecomeEntries) {
  const ProtoValue v = Parsed(L"{\"b\": {\"c\": [1]}, \"a\": \"x\", \"\u00e9\": 2}");
  ASSERT_EQ(v.type(), PV_MAP);
  EXPECT_EQ(v.size(), 3u);
  EXPECT_EQ(v.Lookup(L"a").string(), L"x");
  EXPECT_EQ(v.Lookup(L"b").Lookup(L"c"), ListOf({ProtoValue(1)}));
  EXPECT_EQ(v.Lookup(L"\u00e9").integer(), 2);
}

TEST(JsonToProtoValue, ParseErrorLogsTheLineAndLeavesTheTarget) {
  vkqx_test::TraceCapture capture;
  ProtoValue target(L"before");
  EXPECT_FALSE(JsonToProtoValue(L"{\"a\": ", target));
  EXPECT_EQ(target.string(), L"before");

  const std::vector<std::wstring> lines = capture.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"[ERRO]", 0), 0u) << std::string(lines[0].begin(), lines[0].end());
  EXPECT_NE(lines[0].find(L"解析 AddGameInvite json失败，data:{\"a\":  error:* Line 1, Column 7\n"), std::wstring::npos);
}

TEST(JsonToProtoValue, RejectsBrokenInputWithoutCrashing) {
  vkqx_test::TraceCapture capture;
  const std::wstring deep = std::wstring(100000, L'[') + std::wstring(100000, L']');
  for (const std::wstring& json : {std::wstring(), std::wstring(L"nul"), std::wstring(L"[1,]"), std::wstring(L"{1:2}"),
                                   std::wstring(L"\"\\ud800\""), std::wstring(L"'x'"), deep}) {
    ProtoValue target(7);
    EXPECT_FALSE(JsonToProtoValue(json, target));
    EXPECT_EQ(target.integer(), 7);
  }
  EXPECT_EQ(capture.Lines().size(), 7u);
}

TEST(JsonToProtoValue, ReadsIntoAnExistingTargetInPlace) {
  ProtoValue map;
  map[L"keep"] = 1;
  map[L"a"] = 1;
  ASSERT_TRUE(JsonToProtoValue(L"{\"a\": 2}", map));
  EXPECT_EQ(map.Lookup(L"keep").integer(), 1);
  EXPECT_EQ(map.Lookup(L"a").integer(), 2);

  ProtoValue list = ListOf({ProtoValue(1)});
  ASSERT_TRUE(JsonToProtoValue(L"[2]", list));
  EXPECT_EQ(list, ListOf({ProtoValue(1), ProtoValue(2)}));

  // A scalar target gives way to a container instead of making the conversion throw.
  ProtoValue scalar(5);
  ASSERT_TRUE(JsonToProtoValue(L"[2]", scalar));
  EXPECT_EQ(scalar, ListOf({ProtoValue(2)}));
  ProtoValue notAMap = ListOf({ProtoValue(1)});
  ASSERT_TRUE(JsonToProtoValue(L"{\"k\": 1}", notAMap));
  EXPECT_EQ(notAMap, MapOf(L"k", ProtoValue(1)));
}

TEST(ProtoValueToJson, WritesStyledJsonInKeyOrder) {
  ProtoValue v;
  v[L"b"] = 1;
  v[L"a"] = L"x";
  std::wstring json;
  ASSERT_TRUE(ProtoValueToJson(v, json));
  // The indentation is the library's; one member per line, in key order, ending in a newline.
  const size_t a = json.find(L"\"a\" : \"x\",\n");
  const size_t b = json.find(L"\"b\" : 1\n");
  ASSERT_NE(a, std::wstring::npos) << std::string(json.begin(), json.end());
  ASSERT_NE(b, std::wstring::npos);
  EXPECT_LT(a, b);
  EXPECT_EQ(json.substr(json.size() - 2), L"}\n");
}

TEST(ProtoValueToJson, NullAndTheEmptyArrayAreJsonNull) {
  std::wstring json;
  ASSERT_TRUE(ProtoValueToJson(ProtoValue(), json));
  EXPECT_EQ(json, L"null\n");
  ASSERT_TRUE(ProtoValueToJson(Parsed(L"[]"), json));
  EXPECT_EQ(json, L"null\n");
}

TEST(ProtoValueToJson, ByteStringsFailAtTheRootAndAreNullInside) {
  std::wstring json = L"unchanged";
  EXPECT_FALSE(ProtoValueToJson(ProtoValue("ab", 2), json));
  EXPECT_EQ(json, L"unchanged");

  ProtoValue tree;
  tree[L"bin"] = ProtoValue("ab", 2);
  tree[L"list"].push_back(ProtoValue("cd", 2));
  tree[L"list"].push_back(3);
  ASSERT_TRUE(ProtoValueToJson(tree, json));
  ProtoValue back = Parsed(json);
  EXPECT_EQ(back.Lookup(L"bin").type(), PV_NULL);
  EXPECT_EQ(back.Lookup(L"list"), ListOf({ProtoValue(), ProtoValue(3)}));
}

TEST(ProtoValueToJson, RoundTripsThroughJson) {
  ProtoValue tree;
  tree[L"min"] = std::numeric_limits<int64_t>::min();
  tree[L"max"] = std::numeric_limits<int64_t>::max();
  tree[L"real"] = 0.1;
  tree[L"text"] = L"\"quoted\"\\ \u4e2d\u6587\t" + Wide({0x1F600});
  tree[Wide({0x1F600})] = L"key beyond U+FFFF";
  tree[L"list"].push_back(ProtoValue());
  tree[L"list"].push_back(-5);
  tree[L"nested"][L"deeper"][L"x"] = 1.5e300;

  std::wstring json;
  ASSERT_TRUE(ProtoValueToJson(tree, json));
  EXPECT_EQ(Parsed(json), tree);
}

}  // namespace
