// The termination requests of the host (SIGINT, SIGTERM) turned into a call on the calling
// thread's message loop, so that the program can end through its ordinary shut-down path.
#pragma once

#include <functional>
#include <memory>

namespace platform {

class TerminationSignalWatch {
 public:
  // From now on SIGINT and SIGTERM no longer end the process: `handler` is called with the
  // signal number from the calling thread's loop (GetMessage/PeekMessage), once per arrival.
  explicit TerminationSignalWatch(std::function<void(int signalNumber)> handler);
  // Stops the calls; the signals' default action comes back.
  ~TerminationSignalWatch();
  TerminationSignalWatch(const TerminationSignalWatch&) = delete;
  TerminationSignalWatch& operator=(const TerminationSignalWatch&) = delete;

 private:
  struct Source;
  std::function<void(int)> m_handler;
  std::unique_ptr<Source> m_interrupt;
  std::unique_ptr<Source> m_terminate;
};

}  // namespace platform
