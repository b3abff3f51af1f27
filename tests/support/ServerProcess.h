// A server program started by a test: spawned with its arguments, its output kept in a log file of
// its own temporary directory, waited for until it accepts, and stopped with SIGTERM, then SIGKILL
// after a grace time. It is always reaped, and it dies with the thread that started it if the
// test process goes first. When the test has failed, the logs are printed on stop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace vkqx_test {

// The full path of a program found on PATH or in the system directories (/usr/sbin, /sbin), or
// an empty string.
std::string FindProgram(const std::string& name);

class ServerProcess {
 public:
  explicit ServerProcess(std::string name);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts program (a path) with args; false when it could not be started.
  bool Start(const std::string& program, const std::vector<std::string>& args);
  // Polls ready every 20 ms until it answers true, the process exits or timeoutMs pass.
  bool WaitFor(const std::function<bool()>& ready, int timeoutMs = 10000);
  bool WaitForTcpPort(const std::string& address, uint16_t port, int timeoutMs = 10000);
  // True while the process has not exited (reaps it when it has).
  bool Running();
  // SIGTERM, then SIGKILL after graceMs; returns the wait status, or -1 when nothing ran.
  int Stop(int graceMs = 3000);

  int pid() const { return m_pid; }
  const std::string& name() const { return m_name; }
  // The directory of the log file; servers may keep their own files there too.
  const std::string& logDir() const { return m_dir.path(); }
  std::string LogPath() const;
  // The process's output so far, headed by its name and command line.
  std::string Logs() const;

 private:
  std::string m_name;
  TempDir m_dir;
  std::string m_command;
  int m_pid = -1;
  int m_status = -1;
};

struct ProgramResult {
  int exitCode = -1;  // -1 when it did not exit normally
  bool timedOut = false;
  std::string out;
  std::string err;
};

// Runs a program to its end (killed after timeoutMs) and returns its exit code and output.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs = 30000);

// The whole content of a file, or an empty string.
std::string ReadFileText(const std::string& path);
// Writes the file, making its directories.
bool WriteFileText(const std::string& path, const std::string& text);

}  // namespace vkqx_test
