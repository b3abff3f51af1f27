#include "commonlib/engine/DownloadBlock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr uint64_t L = kHttpBlockLimit;

std::vector<ByteRange> Ranges(const RangeList& list) { return {list.begin(), list.end()}; }

DownloadBlock* AddBlock(BlockList& blocks, uint64_t start, uint64_t end, uint32_t received = 0) {
  blocks.push_back(std::make_unique<DownloadBlock>(DownloadBlock{start, end, received}));
  return blocks.back().get();
}

// Hands out blocks the way the task does: select, then keep it in flight.
std::vector<ByteRange> HandOut(const RangeList& gaps, BlockList& blocks, int sources, bool http = true) {
  std::vector<ByteRange> out;
  for (int i = 0; i < sources; ++i) {
    DownloadBlock block;
    if (!SelectBlock(gaps, blocks, http, block)) break;
    out.push_back({block.start, block.end});
    AddBlock(blocks, block.start, block.end);
  }
  return out;
}

struct SelectCase {
  const char* name;
  int64_t fileSize;
  std::vector<ByteRange> gaps;  // empty: the whole file
  int sources;
  bool http;
  std::vector<ByteRange> expected;
};

TEST(DownloadBlockTest, SelectsBlocksInOrder) {
  const SelectCase cases[] = {
      {"three sources on 3,000,000 bytes", 3000000, {}, 3, true, {{0, L - 1}, {L, 2 * L - 1}, {2 * L, 3000000 - 1}}},
      {"more sources than blocks", 1000, {}, 3, true, {{0, 999}}},
      {"block limit of other sources", 600000, {}, 3, false, {{0, 262143}, {262144, 524287}, {524288, 599999}}},
      {"gaps in list order, not offset order", 10 * L, {{5 * L, 5 * L + 9}, {0, 99}}, 3, true,
       {{5 * L, 5 * L + 9}, {0, 99}}},
      {"exactly one block", static_cast<int64_t>(L), {}, 2, true, {{0, L - 1}}},
      {"one byte", 1, {}, 1, true, {{0, 0}}},
      {"empty file", 0, {}, 3, true, {}},
  };
  for (const SelectCase& c : cases) {
    SCOPED_TRACE(c.name);
    RangeList gaps;
    if (c.gaps.empty()) {
      ResetToWholeFile(gaps, c.fileSize);
    } else {
      for (const ByteRange& r : c.gaps) gaps.Add(r.start, r.end);
    }
    BlockList blocks;
    EXPECT_EQ(c.expected, HandOut(gaps, blocks, c.sources, c.http));
  }
}

TEST(DownloadBlockTest, FailedBlockIsFreeAgainFromItsStart) {
  RangeList gaps;
  ResetToWholeFile(gaps, 3 * L);
  BlockList blocks;
  HandOut(gaps, blocks, 3);
  DownloadBlock* second = blocks[1].get();
  second->received = 4000;
  ASSERT_TRUE(RemoveRequestBlock(blocks, second));  // the request failed: its range stays a gap
  ASSERT_EQ(2u, blocks.size());
  DownloadBlock next;
  ASSERT_TRUE(SelectBlock(gaps, blocks, true, next));
  EXPECT_EQ(L, next.start);
  EXPECT_EQ(2 * L - 1, next.end);
}

TEST(DownloadBlockTest, CompletedSizeCountsRunningWrites) {
  RangeList gaps;
  ResetToWholeFile(gaps, 5 * L);
  BlockList blocks;
  gaps.Subtract(0, 2 * L - 1);  // two blocks done
  AddBlock(blocks, 2 * L, 3 * L - 1, 100);
  EXPECT_EQ(static_cast<int64_t>(2 * L + 100), GetCompletedSize(gaps, blocks, 5 * L));

  RangeList saved;
  FreeRanges(gaps, blocks, false, saved);
  EXPECT_EQ((std::vector<ByteRange>{{2 * L + 100, 5 * L - 1}}), Ranges(saved));
  RangeList handOut;
  FreeRanges(gaps, blocks, true, handOut);
  EXPECT_EQ((std::vector<ByteRange>{{3 * L, 5 * L - 1}}), Ranges(handOut));
}

TEST(DownloadBlockTest, OvercountedReceivedNeverClaimsANeighbour) {
  RangeList gaps;
  ResetToWholeFile(gaps, 3 * L);
  BlockList blocks;
  AddBlock(blocks, 0, L - 1, static_cast<uint32_t>(L + 5000));  // more than the block can hold
  AddBlock(blocks, L, 2 * L - 1, 0);
  RangeList saved;
  FreeRanges(gaps, blocks, false, saved);
  EXPECT_EQ((std::vector<ByteRange>{{L, 3 * L - 1}}), Ranges(saved));
  EXPECT_EQ(static_cast<int64_t>(L), GetCompletedSize(gaps, blocks, 3 * L));
  EXPECT_EQ(L, blocks[0]->NextOffset() - blocks[0]->start);
}

TEST(DownloadBlockTest, CompletionAndTheEmptyFile) {
  RangeList gaps;
  ResetToWholeFile(gaps, 0);
  EXPECT_TRUE(gaps.empty());
  EXPECT_TRUE(IsFileComplete(gaps, 0));
  EXPECT_EQ(0, GetCompletedSize(gaps, {}, 0));

  ResetToWholeFile(gaps, 1000);
  EXPECT_FALSE(IsFileComplete(gaps, 1000));
  EXPECT_EQ(0, GetCompletedSize(gaps, {}, 1000));
  gaps.Subtract(0, 999);
  EXPECT_TRUE(IsFileComplete(gaps, 1000));
  EXPECT_EQ(1000, GetCompletedSize(gaps, {}, 1000));
  // A gap beyond the file (a meta file of a longer download) does not count as missing.
  gaps.Add(5000, 6000);
  EXPECT_TRUE(IsFileComplete(gaps, 1000));
}

TEST(DownloadBlockTest, RemoveRequestBlockRemovesCoveringEntries) {
  BlockList blocks;
  AddBlock(blocks, 0, 99);
  DownloadBlock* b = AddBlock(blocks, 100, 199);
  AddBlock(blocks, 200, 299);
  EXPECT_TRUE(RemoveRequestBlock(blocks, b));
  ASSERT_EQ(2u, blocks.size());
  EXPECT_EQ(0u, blocks[0]->start);
  EXPECT_EQ(200u, blocks[1]->start);
  const DownloadBlock stranger{400, 499, 0};
  EXPECT_FALSE(RemoveRequestBlock(blocks, &stranger));
  const DownloadBlock invalid{50, 10, 0};
  EXPECT_FALSE(RemoveRequestBlock(blocks, &invalid));
  EXPECT_FALSE(RemoveRequestBlock(blocks, nullptr));
  EXPECT_EQ(2u, blocks.size());
}

TEST(DownloadBlockTest, DescribeBlocks) {
  BlockList blocks;
  AddBlock(blocks, 0, 99);
  RangeList gaps;
  gaps.Add(0, 499);
  EXPECT_EQ(L"block( 0-99) gap( 0-499)", DescribeBlocks(blocks, gaps));
  EXPECT_EQ(L"block() gap()", DescribeBlocks({}, RangeList()));
}

}  // namespace
