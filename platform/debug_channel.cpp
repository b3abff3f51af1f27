#include "platform/debug_channel.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/text.h"

namespace platform {
namespace {

struct Channel {
  std::mutex mutex;
  std::function<void(std::wstring_view)> capture;
  bool mirror = false;
  Channel() {
    const char* v = std::getenv("VKQX_TRACE_STDERR");
    mirror = v != nullptr && std::strcmp(v, "1") == 0;
    openlog("vkqx-installer", LOG_PID | LOG_NDELAY, LOG_USER);
  }
};

Channel& TheChannel() {
  // Never destroyed: worker threads may still write while the process exits.
  static Channel* channel = new Channel;
  return *channel;
}

}  // namespace

void OutputDebugString(std::wstring_view text) {
  Channel& channel = TheChannel();
  std::string utf8 = WideToUtf8(text);
  std::lock_guard<std::mutex> lock(channel.mutex);
  if (channel.capture) channel.capture(text);
  std::string_view line(utf8);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  syslog(LOG_DEBUG, "%.*s", static_cast<int>(line.size()), line.data());
  if (channel.mirror) {
    std::string out(line);
    out += '\n';
    for (size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(STDERR_FILENO, out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
}

void SetDebugCaptureForTesting(std::function<void(std::wstring_view)> capture) {
  Channel& channel = TheChannel();
  std::lock_guard<std::mutex> lock(channel.mutex);
  channel.capture = std::move(capture);
}

}  // namespace platform
