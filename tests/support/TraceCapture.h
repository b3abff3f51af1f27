// Every line that reaches the debugger channel while the object lives, from any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace vkqx_test {

class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::vector<std::wstring> Lines() const;
  // Lines holding `text`.
  size_t Count(const std::wstring& text) const;
  bool Has(const std::wstring& text) const { return Count(text) > 0; }
  void Clear();
  // Every line, as UTF-8, for a failure message.
  std::string Dump() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<std::wstring> m_lines;
};

}  // namespace vkqx_test
