#include "commonlib/engine/DownloadBlock.h"

#include <algorithm>

#include "platform/format.h"

void ResetToWholeFile(RangeList& gaps, int64_t fileSize) {
  gaps.Clear();
  if (fileSize > 0) gaps.Add(0, static_cast<uint64_t>(fileSize) - 1);
}

bool IsFileComplete(const RangeList& gaps, int64_t fileSize) {
  if (fileSize <= 0) return true;
  return gaps.NoneWithin(static_cast<uint64_t>(fileSize) - 1);
}

void FreeRanges(const RangeList& gaps, const BlockList& blocks, bool wholeBlocks, RangeList& out) {
  out.CopyFrom(gaps);
  for (const auto& block : blocks) {
    if (wholeBlocks) {
      out.Subtract(block->start, block->end);
    } else if (block->WrittenBytes() != 0) {
      // Capped at the block: bytes counted beyond it belong to a neighbour that may not be written.
      out.Subtract(block->start, block->start + block->WrittenBytes() - 1);
    }
  }
}

int64_t GetCompletedSize(const RangeList& gaps, const BlockList& blocks, int64_t fileSize) {
  if (IsFileComplete(gaps, fileSize)) return std::max<int64_t>(fileSize, 0);
  RangeList missing;
  FreeRanges(gaps, blocks, false, missing);
  const uint64_t size = static_cast<uint64_t>(fileSize);
  return static_cast<int64_t>(size - missing.LengthWithin(size - 1));
}

bool SelectBlock(const RangeList& gaps, const BlockList& blocks, bool isHttpSource, DownloadBlock& block) {
  const uint64_t limit = isHttpSource ? kHttpBlockLimit : kOtherBlockLimit;
  RangeList free;
  FreeRanges(gaps, blocks, true, free);
  if (free.empty()) return false;
  const ByteRange& first = free.front();
  block.start = first.start;
  block.end = first.Length() > limit ? first.start + limit - 1 : first.end;
  return true;
}

bool RemoveRequestBlock(BlockList& blocks, const DownloadBlock* block) {
  if (block == nullptr || block->end < block->start) return false;
  // Copied first: the block itself is among those removed.
  const uint64_t start = block->start;
  const uint64_t end = block->end;
  const auto removed = std::erase_if(blocks, [&](const std::unique_ptr<DownloadBlock>& b) {
    return b->start <= start && b->end >= end;
  });
  return removed != 0;
}

std::wstring DescribeBlocks(const BlockList& blocks, const RangeList& gaps) {
  std::wstring text = L"block(";
  for (const auto& block : blocks) text += platform::StrFormat(L" %lld-%lld", block->start, block->end);
  text += L") gap(";
  for (const ByteRange& gap : gaps) text += platform::StrFormat(L" %lld-%lld", gap.start, gap.end);
  text += L")";
  return text;
}
