#include "bench/common/CommandLine.h"

#include <arpa/inet.h>

#include <charconv>

namespace bench {

bool WalkOptions(int argc, char** argv, std::string* error,
                 const std::function<bool(const std::string& name, const std::string& value)>& handle) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      *error = "";
      return false;
    }
    if (i + 1 >= argc) {
      *error = "missing value for " + name;
      return false;
    }
    if (!handle(name, argv[++i])) return false;
  }
  return true;
}

bool ParseUnsigned(const std::string& text, uint64_t* out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && end == text.data() + text.size();
}

bool ParseMaxSeconds(const std::string& value, uint32_t* out, std::string* error) {
  uint64_t number = 0;
  if (!ParseUnsigned(value, &number) || number == 0 || number > 86400) {
    *error = "bad --max-seconds " + value;
    return false;
  }
  *out = static_cast<uint32_t>(number);
  return true;
}

bool IsLoopbackAddress(const std::string& text) {
  in_addr address{};
  return inet_pton(AF_INET, text.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

}  // namespace bench
