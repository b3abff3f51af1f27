#include "tests/support/ServerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "tests/support/FreePort.h"

namespace vkqx_test {
namespace {

using Clock = std::chrono::steady_clock;

bool IsExecutable(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

// Forks and execs program with stdout and stderr sent to the files given (opened before the fork,
// so the child only calls what is safe there). Returns the child's pid or -1.
int Spawn(const std::string& program, const std::vector<std::string>& args,
          const std::string& outPath, const std::string& errPath) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int err = errPath == outPath
                      ? out
                      : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (in >= 0) ::close(in);
  if (out >= 0) ::close(out);
  if (err >= 0 && err != out) ::close(err);
  return pid;
}

std::string CommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = program;
  for (const std::string& a : args) line += " " + a;
  return line;
}

// Reaps pid if it has ended; true when it has (status set).
bool Reaped(int pid, int* status) {
  int s = 0;
  const pid_t r = ::waitpid(pid, &s, WNOHANG);
  if (r == pid) {
    *status = s;
    return true;
  }
  return r < 0;  // not our child any more: nothing left to wait for
}

bool WaitExit(int pid, int* status, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Reaped(pid, status)) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsExecutable(name) ? name : std::string();
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "";
  dirs += ":/usr/sbin:/sbin:/usr/bin:/bin";
  std::stringstream ss(dirs);
  for (std::string dir; std::getline(ss, dir, ':');) {
    if (dir.empty()) continue;
    const std::string path = dir + "/" + name;
    if (IsExecutable(path)) return path;
  }
  return {};
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteFileText(const std::string& path, const std::string& text) {
  std::error_code error;
  if (const auto parent = std::filesystem::path(path).parent_path(); !parent.empty())
    std::filesystem::create_directories(parent, error);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

ServerProcess::ServerProcess(std::string name) : m_name(std::move(name)) {}

ServerProcess::~ServerProcess() {
  Stop();
  if (::testing::Test::HasFailure() && !m_command.empty()) std::cerr << Logs() << std::endl;
}

std::string ServerProcess::LogPath() const { return m_dir.Sub(m_name + ".log"); }

bool ServerProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  Stop();
  m_command = CommandLine(program, args);
  m_status = -1;
  m_pid = Spawn(program, args, LogPath(), LogPath());
  return m_pid > 0;
}

bool ServerProcess::Running() {
  if (m_pid <= 0) return false;
  if (Reaped(m_pid, &m_status)) {
    m_pid = -1;
    return false;
  }
  return true;
}

bool ServerProcess::WaitFor(const std::function<bool()>& ready, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running()) {
    if (ready()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

bool ServerProcess::WaitForTcpPort(const std::string& address, uint16_t port, int timeoutMs) {
  return WaitFor([&] { return TcpAccepts(address, port); }, timeoutMs);
}

int ServerProcess::Stop(int graceMs) {
  if (m_pid <= 0) return m_status;
  ::kill(m_pid, SIGTERM);
  if (!WaitExit(m_pid, &m_status, graceMs)) {
    ::kill(m_pid, SIGKILL);
    WaitExit(m_pid, &m_status, 10000);
  }
  m_pid = -1;
  return m_status;
}

std::string ServerProcess::Logs() const {
  return "==== " + m_name + ": " + m_command + "\n" + ReadFileText(LogPath()) + "==== end of " +
         m_name + "\n";
}

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs) {
  ProgramResult result;
  TempDir dir;
  const int pid = Spawn(program, args, dir.Sub("out"), dir.Sub("err"));
  if (pid <= 0) return result;
  int status = 0;
  if (!WaitExit(pid, &status, timeoutMs)) {
    result.timedOut = true;
    ::kill(pid, SIGKILL);
    WaitExit(pid, &status, 10000);
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.out = ReadFileText(dir.Sub("out"));
  result.err = ReadFileText(dir.Sub("err"));
  return result;
}

}  // namespace vkqx_test
