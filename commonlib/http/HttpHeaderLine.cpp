#include "commonlib/http/HttpHeaderLine.h"

#include <string_view>

#include "platform/text.h"

HeaderLine ParseHeaderLine(const char* data, size_t length) {
  HeaderLine line;
  if (data == nullptr || length == 0) return line;
  const std::string_view text(data, length);
  if (text == "\r\n" || text == "\n") {
    line.kind = HeaderLineKind::kEndOfBlock;
    return line;
  }
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return line;
  line.kind = HeaderLineKind::kField;
  line.name = platform::Trim(platform::AnsiToWide(text.substr(0, colon)));
  line.value = platform::Trim(platform::AnsiToWide(text.substr(colon + 1)));
  return line;
}
