#include "commonlib/core/ProtoValue.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Runs `op` and returns the exception it threw; fails the test when it threw nothing.
ProtoValueException ExpectThrow(const std::function<void()>& op) {
  try {
    op();
  } catch (const ProtoValueException& e) {
    return e;
  }
  ADD_FAILURE() << "no ProtoValueException";
  return ProtoValueException();
}

std::vector<std::wstring> Keys(const ProtoValue& map) {
  std::vector<std::wstring> keys;
  for (const auto& entry : *map.GetMap()) keys.push_back(entry.first);
  return keys;
}

TEST(ProtoValueBuild, ChainedKeyIndexingBuildsNestedMaps) {
  ProtoValue v;
  v[L"a"][L"b"] = 1;
  ASSERT_EQ(v.type(), PV_MAP);
  EXPECT_EQ(v.size(), 1u);
  ASSERT_EQ(v.Lookup(L"a").type(), PV_MAP);
  EXPECT_EQ(v.Lookup(L"a").size(), 1u);
  EXPECT_EQ(v.Lookup(L"a").Lookup(L"b").integer(), 1);
}

TEST(ProtoValueBuild, IndexEqualToSizeAppendsBeyondItThrows) {
  ProtoValue v;
  v[0];
  ASSERT_EQ(v.type(), PV_ARRAY);
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].type(), PV_NULL);

  const ProtoValueException e = ExpectThrow([&] { v[2]; });
  EXPECT_EQ(e.m_code, 1);
  EXPECT_EQ(e.m_message, L"ProtoValue operator[int] out of range");
  EXPECT_EQ(v.size(), 1u);
  EXPECT_NO_THROW(v[1] = 7);
  EXPECT_EQ(v[1].integer(), 7);
}

TEST(ProtoValueBuild, NullIndexedOutOfRangeIsLeftAnEmptyArray) {
  ProtoValue v;
  EXPECT_EQ(ExpectThrow([&] { v[5]; }).m_code, 1);
  EXPECT_EQ(v.type(), PV_ARRAY);
  EXPECT_EQ(v.size(), 0u);
  EXPECT_EQ(ExpectThrow([&] { v[-1]; }).m_code, 1);
}

TEST(ProtoValueBuild, PushBackOnAScalarThrowsOutOfRangeAndLeavesBoth) {
  ProtoValue v(int64_t{3});
  ProtoValue item(L"x");
  const ProtoValueException e = ExpectThrow([&] { v.push_back(std::move(item)); });
  EXPECT_EQ(e.m_code, 1);
  EXPECT_EQ(e.m_message, L"ProtoValue operator[int] out of range");
  EXPECT_EQ(v.integer(), 3);
  EXPECT_EQ(item.string(), L"x");

  ProtoValue map(PV_MAP);
  EXPECT_EQ(ExpectThrow([&] { map.push_back(1); }).m_code, 1);
}

TEST(ProtoValueBuild, PushBackOfItselfAppendsACopy) {
  ProtoValue v;
  v.push_back(1);
  v.push_back(v);
  ASSERT_EQ(v.size(), 2u);
  ASSERT_EQ(v[1].type(), PV_ARRAY);
  EXPECT_EQ(v[1].size(), 1u);

  ProtoValue w;
  w.push_back(std::move(w));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].type(), PV_NULL);
}

TEST(ProtoValueBuild, KeyIndexingOfANonMapThrowsWrongType) {
  for (ProtoValue v : {ProtoValue(1), ProtoValue(PV_ARRAY), ProtoValue(L"s"), ProtoValue("b", 1)}) {
    const ProtoValueException e = ExpectThrow([&] { v[L"k"]; });
    EXPECT_EQ(e.m_code, 2);
    EXPECT_EQ(e.m_message, L"ProtoValue operator[string] wrong type");
  }
  ProtoValue map(PV_MAP);
  EXPECT_EQ(ExpectThrow([&] { map[0]; }).m_code, 1);
}

TEST(ProtoValueBuild, LookupDoesNotInsertIndexingDoes) {
  ProtoValue v(PV_MAP);
  EXPECT_EQ(v.Lookup(L"missing").type(), PV_NULL);
  EXPECT_FALSE(v.HasKey(L"missing"));
  EXPECT_EQ(v.size(), 0u);
  v[L"missing"];
  EXPECT_TRUE(v.HasKey(L"missing"));
  EXPECT_EQ(v.size(), 1u);

  const ProtoValue scalar(5);
  EXPECT_EQ(scalar.Lookup(L"x").type(), PV_NULL);
  EXPECT_FALSE(scalar.HasKey(L"x"));
}

TEST(ProtoValueException, CarriesItsSourcePosition) {
  const ProtoValue v(1.5);
  const ProtoValueException e = ExpectThrow([&] { v.integer(); });
  const IException& base = e;
  EXPECT_EQ(base.m_code, 3);
  EXPECT_NE(base.m_sourceFile.find(L"ProtoValue.cpp"), std::wstring::npos) << base.m_sourceFile;
  EXPECT_GT(base.m_sourceLine, 0);
}

// One row per kind: what each typed accessor gives or throws.
struct AccessorCase {
  const char* name;
  ProtoValue value;
  ProtoValueType type;
  size_t size;
  int integerError;  // 0: readable
  int realError;
  int stringError;
};

class ProtoValueAccessors : public ::testing::TestWithParam<AccessorCase> {};

TEST_P(ProtoValueAccessors, ReadOnlyTheMatchingKind) {
  const AccessorCase& c = GetParam();
  EXPECT_EQ(c.value.type(), c.type);
  EXPECT_EQ(c.value.size(), c.size);
  auto code = [](const std::function<void()>& op) {
    try {
      op();
    } catch (const ProtoValueException& e) {
      return e.m_code;
    }
    return 0;
  };
  EXPECT_EQ(code([&] { c.value.integer(); }), c.integerError);
  EXPECT_EQ(code([&] { c.value.real(); }), c.realError);
  EXPECT_EQ(code([&] { c.value.string(); }), c.stringError);
}

ProtoValue TwoElements() {
  ProtoValue v;
  v.push_back(1);
  v.push_back(2);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ProtoValueAccessors,
    ::testing::Values(AccessorCase{"null", ProtoValue(), PV_NULL, 0, 0, 0, 0},
                      AccessorCase{"integer", ProtoValue(7), PV_INTEGER, 0, 0, 3, 3},
                      AccessorCase{"real", ProtoValue(2.5), PV_REAL, 0, 3, 0, 3},
                      AccessorCase{"binary", ProtoValue("ab", 2), PV_BINARY, 0, 3, 3, 3},
                      AccessorCase{"string", ProtoValue(L"ab"), PV_STRING, 0, 3, 3, 0},
                      AccessorCase{"array", TwoElements(), PV_ARRAY, 2, 3, 3, 3},
                      AccessorCase{"map", ProtoValue(PV_MAP), PV_MAP, 0, 3, 3, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProtoValueAccessors, NullReadsAsZeroAndEmpty) {
  const ProtoValue null;
  EXPECT_EQ(null.integer(), 0);
  EXPECT_EQ(null.real(), 0.0);
  EXPECT_EQ(null.string(), L"");
}

TEST(ProtoValueAccessors, MessagesNameTheAccessor) {
  const ProtoValue v(PV_MAP);
  EXPECT_EQ(ExpectThrow([&] { v.integer(); }).m_message, L"ProtoValue::integer wrong type");
  EXPECT_EQ(ExpectThrow([&] { v.real(); }).m_message, L"ProtoValue::real wrong type");
  EXPECT_EQ(ExpectThrow([&] { v.string(); }).m_message, L"ProtoValue::string wrong type");
}

TEST(ProtoValueConstruction, FromAKindGivesItsEmptyValue) {
  EXPECT_EQ(ProtoValue(PV_INTEGER).integer(), 0);
  EXPECT_EQ(ProtoValue(PV_REAL).real(), 0.0);
  EXPECT_EQ(ProtoValue(PV_STRING).string(), L"");
  EXPECT_EQ(*ProtoValue(PV_BINARY).GetBinary(), "");
  EXPECT_EQ(ProtoValue(PV_ARRAY).size(), 0u);
  EXPECT_EQ(ProtoValue(static_cast<ProtoValueType>(9)).type(), PV_NULL);
}

TEST(ProtoValueConstruction, CopiesItsSources) {
  const wchar_t text[] = {L'a', L'\0', L'b'};
  EXPECT_EQ(ProtoValue(text, 3).string(), std::wstring(text, 3));
  const char bytes[] = {'\0', '\xff'};
  EXPECT_EQ(*ProtoValue(bytes, 2).GetBinary(), std::string(bytes, 2));
  EXPECT_EQ(ProtoValue(uint64_t{UINT64_MAX}).integer(), -1);
  EXPECT_EQ(ProtoValue(true).integer(), 1);
}

TEST(ProtoValueCopy, CopyOfAMapIsIndependent) {
  ProtoValue source;
  source[L"outer"][L"inner"] = L"old";
  source[L"list"].push_back(1);

  ProtoValue copy = source;
  copy[L"outer"][L"inner"] = L"new";
  copy[L"list"].push_back(2);

  EXPECT_EQ(source.Lookup(L"outer").Lookup(L"inner").string(), L"old");
  EXPECT_EQ(source.Lookup(L"list").size(), 1u);
  EXPECT_EQ(copy.Lookup(L"outer").Lookup(L"inner").string(), L"new");

  ProtoValue assigned(5);
  assigned = source;
  EXPECT_EQ(assigned, source);
  EXPECT_FALSE(copy == source);
}

TEST(ProtoValueCopy, AssigningAChildToItsParent) {
  ProtoValue v;
  v[L"a"][L"b"] = 2;
  v = v[L"a"];
  EXPECT_EQ(v.Lookup(L"b").integer(), 2);
  EXPECT_EQ(v.size(), 1u);

  ProtoValue w;
  w[L"x"] = 1;
  const ProtoValue& self = w;
  w = self;
  EXPECT_EQ(w.Lookup(L"x").integer(), 1);
}

TEST(ProtoValueCopy, MovedFromIsNullAndClearFreesThePayload) {
  ProtoValue v;
  v[L"k"] = L"text";
  ProtoValue moved = std::move(v);
  EXPECT_EQ(v.type(), PV_NULL);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.size(), 1u);
  moved.clear();
  EXPECT_EQ(moved.type(), PV_NULL);
  EXPECT_EQ(moved.size(), 0u);
}

TEST(ProtoValueOrder, KeysSortByCodeUnit) {
  ProtoValue v;
  for (const wchar_t* key : {L"b", L"B", L"a", L"ab"}) v[key] = 1;
  EXPECT_EQ(Keys(v), (std::vector<std::wstring>{L"B", L"a", L"ab", L"b"}));
}

TEST(ProtoValueOrder, SupplementaryCharactersSortAsSurrogatePairs) {
  // As UTF-32, U+E000 sorts below U+1F600; as UTF-16 the pair D83D DE00 sorts below E000.
  const std::wstring privateUse(1, static_cast<wchar_t>(0xE000));
  const std::wstring emoji(1, static_cast<wchar_t>(0x1F600));
  const std::wstring fffd(1, static_cast<wchar_t>(0xFFFD));
  ProtoValue v;
  v[privateUse] = 1;
  v[fffd] = 2;
  v[emoji] = 3;
  v[L"z"] = 4;
  EXPECT_EQ(Keys(v), (std::vector<std::wstring>{L"z", emoji, privateUse, fffd}));
}

}  // namespace
