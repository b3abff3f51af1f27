// The JSON converter on arbitrary text (server answers and report tags). A value that converts must
// render to JSON that converts back to the same value (the parser yields no NaN; an
// overflowing number is an infinity, which renders as a number that parses back to it).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "commonlib/logger/TraceLogger.h"
#include "commonlib/util/ProtoValueJsonConvertor.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every rejected input would log a line to the system log.
  static const bool quiet = (TraceLogger::GetInstance()->SetEnabled(false), true);
  (void)quiet;

  const std::wstring text = platform::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  ProtoValue value;
  if (!JsonToProtoValue(text, value)) return 0;

  std::wstring json;
  if (!ProtoValueToJson(value, json)) std::abort();
  ProtoValue again;
  if (!JsonToProtoValue(json, again) || !(again == value)) std::abort();
  return 0;
}
