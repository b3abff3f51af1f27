// DownloadBlock: the byte range one source is downloading, and the allocation rules built on a
// task's gaps (RangeList) and its blocks in flight: which bytes are free to hand out, how many
// bytes are on disk, which block comes next.
//
// Ownership: the task owns its blocks (BlockList); a source refers to the one it downloads until
// its request ends. Everything here runs on the main thread. `received` is the main thread's count
// of the bytes the block's requests have written; the transfer thread never touches a block (the
// writer keeps its own bounds, see commonlib/peer/VKFileIO.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commonlib/engine/RangeList.h"

struct DownloadBlock {
  uint64_t start = 0;
  uint64_t end = 0;
  uint32_t received = 0;

  uint64_t Length() const { return ByteRange{start, end}.Length(); }
  // The bytes written so far, never more than the block holds.
  uint64_t WrittenBytes() const { return received < Length() ? received : Length(); }
  // The next offset to write, where a restarted request continues.
  uint64_t NextOffset() const { return start + WrittenBytes(); }
};

// Blocks in flight, in the order they were handed out. unique_ptr keeps each block at one address
// while sources point at it.
using BlockList = std::vector<std::unique_ptr<DownloadBlock>>;

// The largest block handed to an HTTP source, and to a source of any other kind.
inline constexpr uint64_t kHttpBlockLimit = 1310720;  // 5 * 2^18
inline constexpr uint64_t kOtherBlockLimit = 262144;  // 2^18

// The gaps of a fresh start: the whole file, nothing for an empty file.
void ResetToWholeFile(RangeList& gaps, int64_t fileSize);
// True when no byte of a file of `fileSize` bytes is missing; an empty file is always complete.
bool IsFileComplete(const RangeList& gaps, int64_t fileSize);

// The gaps minus the blocks in flight: with `wholeBlocks` the ranges nobody works on (what may be
// handed out), without it the ranges neither on disk nor written by a running request (what the
// meta file saves).
void FreeRanges(const RangeList& gaps, const BlockList& blocks, bool wholeBlocks, RangeList& out);
// The bytes on disk, counting what running requests have written.
int64_t GetCompletedSize(const RangeList& gaps, const BlockList& blocks, int64_t fileSize);
// Fills `block` with the next range to download: the front of the first free range, at most
// kHttpBlockLimit (or kOtherBlockLimit) bytes. False when every missing byte is being downloaded.
bool SelectBlock(const RangeList& gaps, const BlockList& blocks, bool isHttpSource, DownloadBlock& block);
// Removes and deletes every block covering [block.start, block.end] (the block itself among them;
// it is gone afterwards). False when the range is invalid or no block was removed.
bool RemoveRequestBlock(BlockList& blocks, const DownloadBlock* block);
// "block( s-e ...) gap( s-e ...)" for the log.
std::wstring DescribeBlocks(const BlockList& blocks, const RangeList& gaps);
