// The binary value reader on arbitrary bytes (a meta file is read from disk as it is found). A value
// that reads must write back to bytes that read again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "commonlib/core/ProtoValueStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IProtoValueStream stream(data, size, false);
  ProtoValue value;
  const int consumed = stream.Read(value);
  if (consumed > static_cast<int>(size)) std::abort();
  if (consumed <= 0) return 0;

  std::string first;
  if (!SerializeProtoValue(value, first)) std::abort();
  ProtoValue again;
  if (!ParseProtoValue(first, again)) std::abort();
  std::string second;
  if (!SerializeProtoValue(again, second) || second != first) std::abort();
  return 0;
}
