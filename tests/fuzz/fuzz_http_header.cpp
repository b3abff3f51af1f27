// The header-line parser on arbitrary bytes: it must take any line apart without reading outside
// it, and a field it reports must come from a line with a colon past its first byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "commonlib/http/HttpHeaderLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const HeaderLine line = ParseHeaderLine(text, size);
  const std::string_view bytes(text, size);
  if (line.kind == HeaderLineKind::kField) {
    const size_t colon = bytes.find(':');
    if (colon == std::string_view::npos || colon == 0) std::abort();
  }
  if (line.kind == HeaderLineKind::kEndOfBlock && bytes != "\r\n" && bytes != "\n") std::abort();
  return 0;
}
