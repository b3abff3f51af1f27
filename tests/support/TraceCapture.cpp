#include "tests/support/TraceCapture.h"

#include "platform/debug_channel.h"
#include "platform/text.h"

namespace vkqx_test {

TraceCapture::TraceCapture() {
  platform::SetDebugCaptureForTesting([this](std::wstring_view line) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_lines.emplace_back(line);
  });
}

TraceCapture::~TraceCapture() { platform::SetDebugCaptureForTesting({}); }

std::vector<std::wstring> TraceCapture::Lines() const {
  std::lock_guard<std::mutex> guard(m_mutex);
  return m_lines;
}

size_t TraceCapture::Count(const std::wstring& text) const {
  size_t n = 0;
  for (const std::wstring& line : Lines())
    if (line.find(text) != std::wstring::npos) ++n;
  return n;
}

void TraceCapture::Clear() {
  std::lock_guard<std::mutex> guard(m_mutex);
  m_lines.clear();
}

std::string TraceCapture::Dump() const {
  std::string out;
  for (const std::wstring& line : Lines()) out += platform::WideToUtf8(line);
  return out;
}

}  // namespace vkqx_test
