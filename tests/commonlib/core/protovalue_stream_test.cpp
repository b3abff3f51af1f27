#include "commonlib/core/ProtoValueStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <sstream>
#include <string>

namespace {

// "06 01 02 61" -> the bytes.
std::string Bytes(const std::string& hex) {
  std::istringstream in(hex);
  std::string out;
  unsigned value = 0;
  while (in >> std::hex >> value) out.push_back(static_cast<char>(value));
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", c);
    out += buf;
  }
  return out;
}

std::wstring Wide(std::initializer_list<uint32_t> codePoints) {
  std::wstring s;
  for (uint32_t c : codePoints) s.push_back(static_cast<wchar_t>(c));
  return s;
}

ProtoValue Map(std::initializer_list<std::pair<std::wstring, ProtoValue>> entries) {
  ProtoValue v(PV_MAP);
  for (const auto& [key, value] : entries) v[key] = value;
  return v;
}

ProtoValue Array(std::initializer_list<ProtoValue> elements) {
  ProtoValue v(PV_ARRAY);
  for (const ProtoValue& e : elements) v.push_back(e);
  return v;
}

ProtoValue Nested(int depth) {
  ProtoValue v(1);
  for (int i = 0; i < depth; ++i) {
    ProtoValue outer;
    outer.push_back(std::move(v));
    v = std::move(outer);
  }
  return v;
}

int ReadAll(const std::string& bytes, ProtoValue& target) {
  IProtoValueStream stream(bytes.data(), bytes.size(), false);
  return stream.Read(target);
}

struct FormCase {
  const char* name;
  ProtoValue value;
  const char* hex;
};

class ProtoValueBinaryForm : public ::testing::TestWithParam<FormCase> {};

TEST_P(ProtoValueBinaryForm, WritesExactBytesAndReadsThemBack) {
  const FormCase& c = GetParam();
  std::string bytes;
  ASSERT_TRUE(SerializeProtoValue(c.value, bytes));
  EXPECT_EQ(Hex(bytes), c.hex);

  ProtoValue back;
  EXPECT_EQ(ReadAll(bytes, back), static_cast<int>(bytes.size()));
  EXPECT_EQ(back, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProtoValueBinaryForm,
    ::testing::Values(
        FormCase{"Null", ProtoValue(), "00"},
        FormCase{"Zero", ProtoValue(0), "01 00"},
        FormCase{"OneByteVarint", ProtoValue(127), "01 7F"},
        FormCase{"TwoByteVarint", ProtoValue(128), "01 80 01"},
        FormCase{"MinusOne", ProtoValue(-1), "01 FF FF FF FF FF FF FF FF FF 01"},
        FormCase{"Int64Min", ProtoValue(std::numeric_limits<int64_t>::min()), "01 80 80 80 80 80 80 80 80 80 01"},
        FormCase{"Int64Max", ProtoValue(std::numeric_limits<int64_t>::max()), "01 FF FF FF FF FF FF FF FF 7F"},
        FormCase{"RealLittleEndian", ProtoValue(1.0), "02 00 00 00 00 00 00 F0 3F"},
        FormCase{"NegativeReal", ProtoValue(-2.5), "02 00 00 00 00 00 00 04 C0"},
        FormCase{"ByteString", ProtoValue("a\0\xff", 3), "03 03 61 00 FF"},
        FormCase{"EmptyByteString", ProtoValue(PV_BINARY), "03 00"},
        FormCase{"WideString", ProtoValue(Wide({'a', 0x4E2D})), "04 04 61 00 2D 4E"},
        FormCase{"EmptyWideString", ProtoValue(PV_STRING), "04 00"},
        FormCase{"SurrogatePair", ProtoValue(Wide({0x1F600})), "04 04 3D D8 00 DE"},
        FormCase{"LoneSurrogateSurvives", ProtoValue(Wide({0xD800, 'x'})), "04 04 00 D8 78 00"},
        FormCase{"MapOfOneInteger", Map({{L"a", ProtoValue(300)}}), "06 01 02 61 00 01 AC 02"},
        FormCase{"Array", Array({ProtoValue(1), ProtoValue(L"x"), ProtoValue()}), "05 03 01 01 04 02 78 00 00"},
        // U+1F600 goes before U+E000: the order is that of UTF-16 code units, not of code points.
        FormCase{"MapKeysInUtf16Order",
                 Map({{Wide({0xE000}), ProtoValue(2)}, {Wide({0x1F600}), ProtoValue(1)}, {L"b", ProtoValue()}}),
                 "06 03 02 62 00 00 04 3D D8 00 DE 01 01 02 00 E0 01 02"},
        FormCase{"NestedMap", Map({{L"k", Map({{L"n", Array({ProtoValue(0.0)})}})}}),
                 "06 01 02 6B 00 06 01 02 6E 00 05 01 02 00 00 00 00 00 00 00 00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProtoValueBinaryForm, EmptyContainersReadBackAsNull) {
  for (const ProtoValueType kind : {PV_ARRAY, PV_MAP}) {
    std::string bytes;
    ASSERT_TRUE(SerializeProtoValue(ProtoValue(kind), bytes));
    EXPECT_EQ(Hex(bytes), kind == PV_ARRAY ? "05 00" : "06 00");
    ProtoValue back;
    EXPECT_EQ(ReadAll(bytes, back), 2);
    EXPECT_EQ(back.type(), PV_NULL);
  }
}

TEST(ProtoValueBinaryForm, OddByteCountDropsTheLastByte) {
  ProtoValue back;
  EXPECT_EQ(ReadAll(Bytes("04 03 61 00 62"), back), 5);
  EXPECT_EQ(back.string(), L"a");
}

TEST(ProtoValueBinaryForm, ReadsOneValueFromTheStart) {
  ProtoValue back;
  EXPECT_EQ(ReadAll(Bytes("01 05 FF FF"), back), 2);
  EXPECT_EQ(back.integer(), 5);
}

TEST(ProtoValueBinaryForm, DuplicateKeysKeepTheLastValue) {
  ProtoValue back;
  EXPECT_EQ(ReadAll(Bytes("06 02 02 61 00 01 01 02 61 00 01 02"), back), 12);
  EXPECT_EQ(back, Map({{L"a", ProtoValue(2)}}));
}

// Malformed and truncated input: the read result, never a crash or an allocation of a hostile size.
struct BadCase {
  const char* name;
  std::string bytes;
  int result;
};

class ProtoValueBadInput : public ::testing::TestWithParam<BadCase> {};

TEST_P(ProtoValueBadInput, GivesTheReadResult) {
  const BadCase& c = GetParam();
  ProtoValue target;
  EXPECT_EQ(ReadAll(c.bytes, target), c.result) << Hex(c.bytes);
  ProtoValue parsed;
  EXPECT_FALSE(ParseProtoValue(c.bytes, parsed));
}

std::string Repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ProtoValueBadInput,
    ::testing::Values(
        BadCase{"Empty", "", 0},
        BadCase{"UnknownKind", Bytes("07"), -1},
        BadCase{"HighKind", Bytes("86 00"), -1},
        BadCase{"IntegerWithoutPayload", Bytes("01"), -1},
        BadCase{"VarintCutShort", Bytes("01 80 80"), -1},
        BadCase{"VarintTenthByteContinues", Bytes("01 FF FF FF FF FF FF FF FF FF 81 01"), -1},
        BadCase{"VarintCutShortNearTen", Bytes("01 FF FF FF FF FF FF FF FF FF"), -1},
        BadCase{"RealCutShort", Bytes("02 00 00 00 00 00 00 F0"), -1},
        BadCase{"WideStringCutShort", Bytes("04 04 61 00 62"), -1},
        BadCase{"WideStringWithoutLength", Bytes("04"), -1},
        BadCase{"HugeStringLength", Bytes("04 FF FF FF FF FF FF FF FF 7F 61 00"), -1},
        BadCase{"HugeByteStringLength", Bytes("03 FF FF FF FF 0F"), -1},
        BadCase{"ArrayWithoutCount", Bytes("05"), -1},
        BadCase{"ArrayCountBeyondData", Bytes("05 03 00 00"), -1},
        BadCase{"HugeArrayCount", Bytes("05 FF FF FF FF FF FF FF FF 7F 00"), -1},
        BadCase{"ArrayElementMalformed", Bytes("05 02 00 09"), -1},
        BadCase{"MapWithoutCount", Bytes("06"), -1},
        BadCase{"MapKeyCutShort", Bytes("06 01 04 61 00"), -1},
        BadCase{"MapValueMissing", Bytes("06 01 02 61 00"), -1},
        BadCase{"MapSecondEntryMissing", Bytes("06 02 02 61 00 00"), -1},
        BadCase{"HugeMapCount", Bytes("06 FF FF FF FF 0F 02 61 00 00"), -1},
        BadCase{"HugeKeyLength", Bytes("06 01 FF FF FF FF FF FF FF FF 7F 00"), -1},
        BadCase{"NestedTooDeep", Repeat(Bytes("05 01"), kProtoValueMaxNesting + 1) + Bytes("00"), -1},
        BadCase{"HostileDeepNesting", Repeat(Bytes("06 01 00"), 200000), -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProtoValueBinaryForm, NestingUpToTheLimitRoundTrips) {
  const ProtoValue deep = Nested(kProtoValueMaxNesting);
  std::string bytes;
  ASSERT_TRUE(SerializeProtoValue(deep, bytes));
  ProtoValue back;
  EXPECT_EQ(ReadAll(bytes, back), static_cast<int>(bytes.size()));
  EXPECT_EQ(back, deep);

  std::string untouched = "keep";
  OProtoValueStream stream;
  EXPECT_EQ(stream.Write(Nested(kProtoValueMaxNesting + 1)), -1);
  EXPECT_FALSE(SerializeProtoValue(Nested(kProtoValueMaxNesting + 1), untouched));
  EXPECT_EQ(untouched, "keep");
}

TEST(ProtoValueBinaryForm, AFailedReadMayLeaveAPartialTarget) {
  ProtoValue target;
  EXPECT_EQ(ReadAll(Bytes("06 02 02 61 00 01 01 02 62 00 09"), target), -1);
  EXPECT_EQ(target, Map({{L"a", ProtoValue(1)}}));
}

TEST(ProtoValueBinaryForm, ReadsIntoAnExistingTargetInPlace) {
  ProtoValue list = Array({ProtoValue(1)});
  EXPECT_EQ(ReadAll(Bytes("05 01 01 02"), list), 4);
  EXPECT_EQ(list, Array({ProtoValue(1), ProtoValue(2)}));

  ProtoValue map = Map({{L"a", ProtoValue(1)}, {L"b", ProtoValue(1)}});
  EXPECT_EQ(ReadAll(Bytes("06 01 02 61 00 01 09"), map), 7);
  EXPECT_EQ(map, Map({{L"a", ProtoValue(9)}, {L"b", ProtoValue(1)}}));

  ProtoValue keeps(L"old");
  EXPECT_EQ(ReadAll(Bytes("05 00"), keeps), 2);
  EXPECT_EQ(keeps.string(), L"old");

  // A scalar target gives way to a container instead of making the read throw.
  ProtoValue scalar(5);
  EXPECT_EQ(ReadAll(Bytes("05 01 01 02"), scalar), 4);
  EXPECT_EQ(scalar, Array({ProtoValue(2)}));
  ProtoValue notAMap = Array({ProtoValue(1)});
  EXPECT_EQ(ReadAll(Bytes("06 01 02 61 00 00"), notAMap), 6);
  EXPECT_EQ(notAMap, Map({{L"a", ProtoValue()}}));
}

TEST(ProtoValueSerialize, NullIsOneByteAndEmptyInputDoesNotParse) {
  std::string bytes;
  EXPECT_TRUE(SerializeProtoValue(ProtoValue(), bytes));
  EXPECT_EQ(Hex(bytes), "00");
  ProtoValue v(3);
  EXPECT_FALSE(ParseProtoValue("", v));
  EXPECT_EQ(v.integer(), 3);
}

TEST(ProtoValueVarint, LengthsAndLimits) {
  struct {
    uint64_t value;
    int length;
  } cases[] = {{0, 1}, {127, 1}, {128, 2}, {16383, 2}, {16384, 3}, {UINT64_MAX >> 1, 9}, {UINT64_MAX, 10}};
  for (const auto& c : cases) {
    OProtoValueStream out;
    EXPECT_EQ(out.WriteVarint(c.value), c.length) << c.value;
    ASSERT_EQ(out.GetLength(), static_cast<size_t>(c.length));
    IProtoValueStream in(out.GetData(), out.GetLength(), true);
    uint64_t back = 1;
    EXPECT_EQ(in.ReadVarint(back), c.length);
    EXPECT_EQ(back, c.value);
    EXPECT_EQ(in.ReadVarint(back), 0);
  }
}

TEST(ProtoValueVarint, TenthByteBitsBeyond64AreDropped) {
  const std::string bytes = Bytes("FF FF FF FF FF FF FF FF FF 7F");
  IProtoValueStream in(bytes.data(), bytes.size(), false);
  uint64_t value = 0;
  EXPECT_EQ(in.ReadVarint(value), 10);
  EXPECT_EQ(value, UINT64_MAX);
}

}  // namespace
