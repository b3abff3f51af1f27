#include "commonlib/engine/RangeList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

RangeList ListOf(std::initializer_list<ByteRange> ranges) {
  RangeList list;
  // Built by Subtract-free appends so the order is exactly the given one.
  for (const ByteRange& r : ranges) list.Add(r.start, r.end);
  return list;
}

std::vector<ByteRange> Ranges(const RangeList& list) { return {list.begin(), list.end()}; }

enum class Op { kAdd, kSubtract };

struct EditCase {
  const char* name;
  std::vector<ByteRange> before;
  Op op;
  ByteRange arg;
  bool result;
  std::vector<ByteRange> after;
};

TEST(RangeListTest, AddAndSubtract) {
  const EditCase cases[] = {
      {"split in the middle", {{0, 99}}, Op::kSubtract, {10, 19}, true, {{0, 9}, {20, 99}}},
      {"trim the front", {{0, 99}}, Op::kSubtract, {0, 9}, true, {{10, 99}}},
      {"trim the back past the end", {{0, 99}}, Op::kSubtract, {90, 120}, true, {{0, 89}}},
      {"remove all", {{0, 99}}, Op::kSubtract, {0, 200}, true, {}},
      {"subtract outside", {{0, 99}}, Op::kSubtract, {200, 300}, false, {{0, 99}}},
      {"subtract one byte", {{5, 5}}, Op::kSubtract, {5, 5}, true, {}},
      {"subtract invalid", {{0, 99}}, Op::kSubtract, {20, 10}, false, {{0, 99}}},
      {"split keeps the place", {{0, 9}, {20, 99}, {200, 300}}, Op::kSubtract, {30, 39}, true,
       {{0, 9}, {20, 29}, {40, 99}, {200, 300}}},
      {"subtract across two", {{0, 9}, {20, 99}}, Op::kSubtract, {5, 25}, true, {{0, 4}, {26, 99}}},
      {"subtract at the top of the space", {{0, UINT64_MAX}}, Op::kSubtract, {10, UINT64_MAX}, true, {{0, 9}}},
      {"merge two", {{5, 12}, {18, 30}}, Op::kAdd, {10, 20}, true, {{5, 30}}},
      {"already covered", {{0, 100}}, Op::kAdd, {10, 20}, false, {{0, 100}}},
      {"touching stays apart", {{21, 30}}, Op::kAdd, {10, 20}, true, {{21, 30}, {10, 20}}},
      {"swallow inner", {{12, 14}, {40, 50}}, Op::kAdd, {10, 20}, true, {{40, 50}, {10, 20}}},
      {"equal range is put at the end", {{10, 20}}, Op::kAdd, {10, 20}, true, {{10, 20}}},
      {"add invalid", {}, Op::kAdd, {20, 10}, false, {}},
      {"add to empty", {}, Op::kAdd, {0, 0}, true, {{0, 0}}},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    RangeList list;
    for (const ByteRange& r : c.before) list.Add(r.start, r.end);
    ASSERT_EQ(c.before, Ranges(list));
    const bool result = c.op == Op::kAdd ? list.Add(c.arg.start, c.arg.end) : list.Subtract(c.arg.start, c.arg.end);
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(c.after, Ranges(list));
  }
}

TEST(RangeListTest, LengthWithinAndNoneWithin) {
  const RangeList list = ListOf({{0, 9}, {90, 150}});
  EXPECT_EQ(20u, list.LengthWithin(99));
  EXPECT_EQ(71u, list.LengthWithin(1000));
  EXPECT_EQ(1u, list.LengthWithin(0));
  EXPECT_FALSE(list.NoneWithin(0));
  EXPECT_TRUE(ListOf({{100, 200}}).NoneWithin(99));
  EXPECT_FALSE(ListOf({{100, 200}}).NoneWithin(100));
  EXPECT_TRUE(RangeList().NoneWithin(99));
  EXPECT_EQ(0u, RangeList().LengthWithin(99));
  // The top of the space neither wraps the sum nor caps it at 0.
  const RangeList all = ListOf({{0, UINT64_MAX}});
  EXPECT_EQ(UINT64_MAX, all.LengthWithin(UINT64_MAX));
  EXPECT_EQ(5u, ListOf({{0, 4}}).LengthWithin(UINT64_MAX));
}

TEST(RangeListTest, CopyFromReplaces) {
  RangeList a = ListOf({{0, 9}, {20, 29}});
  RangeList b = ListOf({{100, 200}});
  b.CopyFrom(a);
  EXPECT_EQ(Ranges(a), Ranges(b));
  a.Clear();
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(2u, b.size());
}

}  // namespace
