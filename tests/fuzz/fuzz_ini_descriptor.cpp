// The install descriptor as it comes from the network, through the profile reader: any bytes in
// any encoding must decode and look up without reading outside them, and a value found is never
// longer than the text it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ini_file.h"
#include "platform/text_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = platform::DecodeText(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const wchar_t* key : {L"Url", L"Size", L"Md5", L"Version", L"ThirdCDNHost", L"ThirdCDNMinSpeed", L"SSLUrl"}) {
    std::wstring value;
    if (platform::FindProfileValue(text, L"Install", key, &value) && value.size() > text.size()) std::abort();
  }
  return 0;
}
