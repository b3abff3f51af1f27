// A real installer process for the tests: started from the build with its trace mirrored to a
// pipe and its own XDG_RUNTIME_DIR (so its named objects do not meet other tests' ones). Every
// server setting points at loopback (a port where nothing answers) and the loopback-only net is
// on; a test passes its own servers in `settings` ("NAME=value" entries replace the defaults).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempDir.h"

extern char** environ;

namespace vkqx_test {

class InstallerProcess {
 public:
  InstallerProcess(const std::vector<std::string>& args, const std::string& runtimeDir,
                   const std::vector<std::string>& settings = {}) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    m_readFd = fds[0];
    std::vector<std::string> own = {
        "XDG_RUNTIME_DIR=" + runtimeDir,
        "VKQX_TRACE_STDERR=1",
        "VKQX_LOOPBACK_ONLY=1",
        "VKQX_UPDATE_URLS=http://127.0.0.1:9/vkinstall.txt",
        "VKQX_STAT_URL=http://127.0.0.1:9/api/qx/data/rece_download_data",
        "VKQX_RESOLVERS=127.0.0.1:9",
        "VKQX_TEST_HOST=nettest.test",
        "VKQX_SPARE_IPS=127.0.0.2;127.0.0.3",
        "VKQX_MARKER_LISTS=3.3.3.3=127.0.0.2|2.2.2.2=127.0.0.3",
        "VKQX_LICENSE_URL=http://127.0.0.1:9/licence.html",
    };
    for (const std::string& entry : settings) {
      const std::string name = entry.substr(0, entry.find('=') + 1);
      std::erase_if(own, [&name](const std::string& e) { return e.rfind(name, 0) == 0; });
      own.push_back(entry);
    }
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('=') + 1);
      if (std::none_of(own.begin(), own.end(), [&name](const std::string& o) { return o.rfind(name, 0) == 0; }))
        env.push_back(entry);
    }
    env.insert(env.end(), own.begin(), own.end());
    const std::string program = BuildDir() + "/bin/installer";
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());

    std::vector<char*> argp, envp;
    for (auto& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    if (::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argp.data(), envp.data()) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
  }

  ~InstallerProcess() {
    if (m_pid > 0 && !m_exited) {
      ::kill(m_pid, SIGKILL);
      int status;
      ::waitpid(m_pid, &status, 0);
    }
    if (m_readFd >= 0) ::close(m_readFd);
  }

  pid_t Pid() const { return m_pid; }
  bool Started() const { return m_pid > 0; }
  void Signal(int number) { ::kill(m_pid, number); }

  // Reads the trace until a line contains `text`; false if it does not come within the time.
  bool WaitForLine(const std::string& text, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_output.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
    return true;
  }

  // Waits for the process to end; false if it has not within the time. The rest of its trace
  // is read too.
  bool WaitExit(int timeoutMs, int* status) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_exited) {
      if (::waitpid(m_pid, &m_status, WNOHANG) == m_pid) {
        m_exited = true;
        break;
      }
      if (std::chrono::steady_clock::now() >= deadline) return false;
      ReadSome(5);
    }
    while (ReadSome(1000)) {
    }
    *status = m_status;
    return true;
  }

  const std::string& Output() const { return m_output; }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = m_output.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(m_output.substr(start, end - start));
    return lines;
  }

 private:
  // False at the end of the output or when nothing came within the time.
  bool ReadSome(int timeoutMs) {
    pollfd p{m_readFd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(m_readFd, buffer, sizeof buffer);
    if (n <= 0) return false;
    m_output.append(buffer, static_cast<size_t>(n));
    return true;
  }

  pid_t m_pid = -1;
  int m_readFd = -1;
  bool m_exited = false;
  int m_status = 0;
  std::string m_output;
};

inline constexpr const char* kLoopRunning = "main() 消息循环开始";
inline constexpr int kStartTimeoutMs = 20000;

}  // namespace vkqx_test
