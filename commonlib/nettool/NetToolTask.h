// A diagnostics task: runs on the diagnostics thread and hands its textual result to the main
// thread, where the requester's callback receives it.
#pragma once

#include <string>

// (code, user value, host, result text); called on the main thread.
using NetToolCallback = void (*)(int code, void* user, const std::string& host, const std::string& result);

class CNetToolTask {
 public:
  CNetToolTask(std::string host, NetToolCallback callback, void* user);
  virtual ~CNetToolTask() = default;
  CNetToolTask(const CNetToolTask&) = delete;
  CNetToolTask& operator=(const CNetToolTask&) = delete;

  // The task's work, on the diagnostics thread; ends by posting its result.
  virtual void Run() = 0;

  std::string m_host;
  NetToolCallback m_callback;
  void* m_user;

 protected:
  // Posts (code, m_user, m_host, text) to the callback on the main thread; the values are copied,
  // so the task may be destroyed before the callback runs.
  void PostResult(int code, const std::string& text) const;
};
