// Feeds arbitrary bytes to the meta file's reader as a resuming task does: parse one value, then
// check it against a task of the saved size and hash (so that the deeper checks are reached) and
// against a fixed task. Whatever is accepted must be a usable resume state: gaps inside the file,
// no two gaps sharing a byte, counters not negative.
#include <cstddef>
#include <cstdint>
#include <string>

#include "commonlib/core/ProtoValueStream.h"
#include "commonlib/engine/DownloadBlock.h"
#include "commonlib/engine/TaskMetaFile.h"

namespace {

void CheckAccepted(const TaskMetaData& data, int64_t fileSize) {
  if (data.elapsedMs < 0 || data.p2pBytes < 0) __builtin_trap();
  for (size_t i = 0; i < data.gaps.size(); ++i) {
    const ByteRange& a = data.gaps[i];
    if (a.start > a.end || a.end >= static_cast<uint64_t>(fileSize)) __builtin_trap();
    for (size_t j = i + 1; j < data.gaps.size(); ++j) {
      const ByteRange& b = data.gaps[j];
      if (a.start <= b.end && b.start <= a.end) __builtin_trap();
    }
  }
  BlockList blocks;
  DownloadBlock block;
  if (SelectBlock(data.gaps, blocks, true, block) && (block.end >= static_cast<uint64_t>(fileSize))) __builtin_trap();
  const int64_t done = GetCompletedSize(data.gaps, blocks, fileSize);
  if (done < 0 || done > fileSize) __builtin_trap();
  CTaskLog log;
  log.Restore(data.log);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  ProtoValue root;
  if (!ParseProtoValue(bytes, root)) return 0;
  const ProtoValue& fs = root.Lookup(L"fs");
  const ProtoValue& fh = root.Lookup(L"fh");
  const int64_t savedSize = fs.type() == PV_INTEGER ? fs.integer() : 0;
  const std::wstring savedHash = fh.type() == PV_STRING ? fh.string() : std::wstring();
  TaskMetaData out;
  if (CTaskMetaFile::Decode(root, savedSize, savedHash, out, nullptr)) CheckAccepted(out, savedSize);
  if (CTaskMetaFile::Decode(root, 5242880, L"0123456789abcdef0123456789abcdef", out, nullptr))
    CheckAccepted(out, 5242880);
  return 0;
}
