#include "tools/vkdl/VkdlOptions.h"

#include <cctype>
#include <charconv>
#include <functional>
#include <map>

#include "platform/text.h"

namespace {

bool ParseInteger(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  const char* const end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool IsMd5Text(const std::string& text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasHttpScheme(const std::string& url) {
  const std::string lower = Lower(url);
  return (lower.rfind("http://", 0) == 0 && lower.size() > 7) || (lower.rfind("https://", 0) == 0 && lower.size() > 8);
}

using Setter = std::function<bool(const std::string& value, VkdlOptions& options, std::string& error)>;

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters = {
      {"--url",
       [](const std::string& v, VkdlOptions& o, std::string& e) {
         if (!HasHttpScheme(v)) {
           e = "--url needs an http:// or https:// URL, not '" + v + "'";
           return false;
         }
         o.url = platform::Utf8ToWide(v);
         return true;
       }},
      {"--size",
       [](const std::string& v, VkdlOptions& o, std::string& e) {
         if (!ParseInteger(v, o.size) || o.size < 0) {
           e = "--size needs a byte count of 0 or more, not '" + v + "'";
           return false;
         }
         return true;
       }},
      {"--md5",
       [](const std::string& v, VkdlOptions& o, std::string& e) {
         if (!IsMd5Text(v)) {
           e = "--md5 needs 32 hexadecimal digits, not '" + v + "'";
           return false;
         }
         o.md5 = platform::Utf8ToWide(Lower(v));
         return true;
       }},
      {"--ips",
       [](const std::string& v, VkdlOptions& o, std::string&) {
         o.ips = platform::Utf8ToWide(v);
         return true;
       }},
      {"--cdn-host",
       [](const std::string& v, VkdlOptions& o, std::string& e) {
         if (v.empty()) {
           e = "--cdn-host needs a host name";
           return false;
         }
         o.cdnHost = platform::Utf8ToWide(v);
         return true;
       }},
      {"--cdn-min-speed",
       [](const std::string& v, VkdlOptions& o, std::string& e) {
         if (!ParseInteger(v, o.cdnMinSpeed)) {
           e = "--cdn-min-speed needs a whole number of bytes per second, not '" + v + "'";
           return false;
         }
         return true;
       }},
      {"--out",
       [](const std::string& v, VkdlOptions& o, std::string& e) {
         if (v.empty()) {
           e = "--out needs a path";
           return false;
         }
         o.out = v;
         return true;
       }},
  };
  return setters;
}

}  // namespace

bool ParseVkdlArguments(const std::vector<std::string>& args, VkdlOptions& options, std::string& error) {
  options = VkdlOptions();
  std::map<std::string, bool> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    std::string value;
    bool inlineValue = false;
    if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    const auto setter = Setters().find(name);
    if (setter == Setters().end()) {
      error = "unknown argument '" + args[i] + "'";
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (seen[name]) {
      error = name + " is given twice";
      return false;
    }
    seen[name] = true;
    if (!setter->second(value, options, error)) return false;
  }
  if (options.help) return true;
  for (const char* required : {"--url", "--size", "--md5", "--out"}) {
    if (!seen[required]) {
      error = std::string("missing ") + required;
      return false;
    }
  }
  return true;
}

std::string VkdlUsage() {
  return "usage: vkdl --url URL --size BYTES --md5 HEX [--ips 'A;B;C'] [--cdn-host HOST]\n"
         "            [--cdn-min-speed BYTES_PER_S] --out PATH\n"
         "Downloads URL (BYTES long, MD5 HEX) into PATH with the download engine: one source by the\n"
         "URL's host name, up to two pinned to the addresses of --ips, and a fallback source on\n"
         "--cdn-host when the speed stays at or below --cdn-min-speed for 20 s or every source\n"
         "failed. An interrupted download resumes when the same command is run again.\n"
         "One run at a time per PATH: its data file PATH.vkdt is locked while the run lasts. A file\n"
         "that fails the check (length or MD5) is moved to PATH.bad, so the next run fetches it again.\n"
         "Exit status: 0 done and verified, 1 the download failed (the cause is printed), 2 bad\n"
         "arguments, 3 wrong length or MD5, 4 another run is downloading PATH, 130/143 stopped by\n"
         "SIGINT/SIGTERM (progress saved).\n";
}
