// The command line of vkdl, the download engine's front end for operators and benchmarks:
//   vkdl --url URL --size BYTES --md5 HEX [--ips 'A;B;C'] [--cdn-host HOST]
//        [--cdn-min-speed BYTES_PER_S] --out PATH
// Every option also takes the form --name=value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct VkdlOptions {
  std::wstring url;
  int64_t size = -1;
  std::wstring md5;  // 32 hexadecimal digits, lower case
  std::wstring ips;  // ";" separated addresses for pinned sources
  std::wstring cdnHost;
  int64_t cdnMinSpeed = 0;
  std::string out;  // a host path
  bool help = false;
};

// False with a one-line reason in `error` when the arguments (without the program name) are not
// a valid command line; `--help` alone is valid and sets `help`.
bool ParseVkdlArguments(const std::vector<std::string>& args, VkdlOptions& options, std::string& error);

// The usage text, ending in a newline.
std::string VkdlUsage();
