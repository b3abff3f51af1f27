#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

// ---------------------------------------------------------------------------------------------
// Command lines

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The program name: quotes toggle and are dropped, backslashes are plain, unquoted white space
// ends it. Returns the position after the character that ended it.
size_t ScanProgramName(std::wstring_view line, std::wstring& name) {
  bool inQuotes = false;
  size_t i = 0;
  for (; i < line.size(); ++i) {
    const wchar_t c = line[i];
    if (c == L'"') {
      inQuotes = !inQuotes;
    } else if (!inQuotes && IsBlank(c)) {
      return i + 1;
    } else {
      name += c;
    }
  }
  return i;
}

// One argument from `i` on; returns the position of the character that ended it.
size_t ScanArgument(std::wstring_view line, size_t i, std::wstring& arg) {
  bool inQuotes = false;
  while (i < line.size()) {
    size_t backslashes = 0;
    while (i < line.size() && line[i] == L'\\') ++i, ++backslashes;
    bool copy = true;
    if (i < line.size() && line[i] == L'"') {
      if (backslashes % 2 == 0) {
        if (inQuotes && i + 1 < line.size() && line[i + 1] == L'"')
          ++i;  // "" inside quotes: a literal quote, still quoted
        else
          copy = false, inQuotes = !inQuotes;
      }
      backslashes /= 2;
    }
    arg.append(backslashes, L'\\');
    if (i >= line.size() || (!inQuotes && IsBlank(line[i]))) break;
    if (copy) arg += line[i];
    ++i;
  }
  return i;
}

}  // namespace

std::vector<std::wstring> CommandLineToArgv(std::wstring_view commandLine) {
  const std::wstring_view line = commandLine.substr(0, commandLine.find(L'\0'));
  std::vector<std::wstring> argv;
  if (line.empty()) return argv;
  argv.emplace_back();
  size_t i = ScanProgramName(line, argv.back());
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    argv.emplace_back();
    i = ScanArgument(line, i, argv.back());
  }
  return argv;
}

// ---------------------------------------------------------------------------------------------
// Process state

struct Process::State {
  uint32_t pid = 0;
  bool child = false;

  // Children: filled by the reaper thread.
  std::mutex mutex;
  std::condition_variable ended;
  bool exited = false;
  uint32_t exitCode = STILL_ACTIVE;
  std::optional<uint32_t> terminateCode;

  // Other processes: a descriptor that stays bound to the process even if its id is reused; -1
  // where the kernel has none, and then the id is polled.
  int pidfd = -1;

  ~State() {
    if (pidfd >= 0) ::close(pidfd);
  }
};

namespace {

using StatePtr = std::shared_ptr<Process::State>;

// The children that have not been reaped yet, so that opening one by id shares its state (and
// its exit code) with the Process that started it.
struct ChildTable {
  std::mutex mutex;
  std::map<uint32_t, StatePtr> children;
};

ChildTable& Children() {
  static ChildTable* table = new ChildTable;  // never destroyed: reaper threads outlive main
  return *table;
}

StatePtr FindChild(uint32_t pid) {
  ChildTable& t = Children();
  std::lock_guard<std::mutex> lock(t.mutex);
  const auto it = t.children.find(pid);
  return it == t.children.end() ? nullptr : it->second;
}

uint32_t ExitCodeFrom(const siginfo_t& info, const std::optional<uint32_t>& terminateCode) {
  if (info.si_code == CLD_EXITED) return static_cast<uint32_t>(info.si_status);
  if (terminateCode && info.si_status == SIGKILL) return *terminateCode;
  return 128 + static_cast<uint32_t>(info.si_status);
}

// Waits for the child to end without reaping it, so that its id stays reserved while the state
// is updated; then reaps it under the state's lock, which Terminate also holds.
void ReapWhenEnded(StatePtr state) {
  const auto pid = static_cast<pid_t>(state->pid);
  siginfo_t info{};
  int rc;
  do rc = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
  while (rc != 0 && errno == EINTR);
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    // rc != 0: somebody else reaped it (SIGCHLD ignored, or a stray wait); its code is lost.
    state->exitCode = rc == 0 ? ExitCodeFrom(info, state->terminateCode) : 0;
    if (rc == 0) {
      while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    state->exited = true;
  }
  state->ended.notify_all();
  ChildTable& t = Children();
  std::lock_guard<std::mutex> lock(t.mutex);
  const auto it = t.children.find(state->pid);
  if (it != t.children.end() && it->second == state) t.children.erase(it);
}

std::optional<std::string> ReadLink(const std::string& path) {
  std::string buffer(512, '\0');
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    if (buffer.size() > 65536) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

// The image of a process, as a host path. A program replaced while it runs (an update) is still
// the same image for our purposes.
std::optional<std::string> ImageHostPath(uint32_t pid) {
  auto path = ReadLink("/proc/" + std::to_string(pid) + "/exe");
  static constexpr std::string_view kDeleted = " (deleted)";
  if (path && path->size() > kDeleted.size() && path->ends_with(kDeleted)) path->resize(path->size() - kDeleted.size());
  return path;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) text.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return text;
}

struct ProcStat {
  char state = '?';
  uint32_t parent = 0;
  std::string comm;
};

// "/proc/PID/stat" is "pid (comm) S ppid ..."; the name may itself hold parentheses and spaces.
std::optional<ProcStat> ReadProcStat(uint32_t pid) {
  const auto text = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
  if (!text) return std::nullopt;
  const size_t open = text->find('(');
  const size_t close = text->rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open || close + 4 > text->size())
    return std::nullopt;
  ProcStat stat;
  stat.comm = text->substr(open + 1, close - open - 1);
  stat.state = (*text)[close + 2];
  stat.parent = static_cast<uint32_t>(std::strtoul(text->c_str() + close + 4, nullptr, 10));
  return stat;
}

bool HasEnded(const ProcStat& stat) { return stat.state == 'Z' || stat.state == 'X'; }

std::string BaseName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The image's file name. The image link needs the right to inspect the process; without it the
// kernel's short name serves, unless it was cut at its 15 characters and the program's first
// argument names it in full.
std::wstring ExeFileName(uint32_t pid, const std::string& comm) {
  if (const auto image = ImageHostPath(pid)) return Utf8ToWide(BaseName(*image));
  if (comm.size() == 15) {
    if (const auto cmdline = ReadSmallFile("/proc/" + std::to_string(pid) + "/cmdline")) {
      const std::string first = BaseName(std::string_view(cmdline->c_str()));
      if (first.starts_with(comm)) return Utf8ToWide(first);
    }
  }
  return Utf8ToWide(comm);
}

// ---------------------------------------------------------------------------------------------
// Starting programs

// Windows tells a missing file from a missing directory; POSIX says ENOENT for both.
uint32_t MissingPathError(const std::string& hostPath) {
  const size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  const std::string parent = slash == 0 ? "/" : hostPath.substr(0, slash);
  struct stat st {};
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// Checks that the program is a file and gives it its execute bits (where it may be read) when it
// has none: a downloaded program arrives without them.
uint32_t PrepareProgram(const std::string& hostPath) {
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) {
    const int e = errno;
    return e == ENOENT ? MissingPathError(hostPath) : WinErrorFromErrno(e);
  }
  if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
  if ((st.st_mode & 0111) == 0) {
    const mode_t mode = (st.st_mode & 07777) | S_IXUSR | ((st.st_mode & 0444) >> 2);
    ::chmod(hostPath.c_str(), mode);  // if this fails, starting it reports the denial
  }
  return ERROR_SUCCESS;
}

uint32_t SpawnError(int e) { return e == ENOEXEC ? ERROR_BAD_EXE_FORMAT : WinErrorFromErrno(e); }

struct SpawnRequest {
  std::string program;
  std::vector<std::string> argv;
  std::optional<std::string> directory;
};

// Fills the request from the start-up record; a Windows error number on failure.
uint32_t BuildRequest(const ProcessStartup& startup, SpawnRequest& request) {
  std::vector<std::wstring> args = CommandLineToArgv(startup.commandLine);
  std::wstring application = startup.application;
  if (application.empty() && !args.empty()) application = args.front();
  if (application.empty()) return ERROR_INVALID_PARAMETER;
  if (args.empty()) args.push_back(application);

  const std::optional<std::string> host = ToHostPath(application);
  if (!host) return ERROR_PATH_NOT_FOUND;
  request.program = *host;
  for (const std::wstring& a : args) request.argv.push_back(WideToUtf8(a));

  if (!startup.currentDirectory.empty()) {
    const std::optional<std::string> dir = ToHostPath(startup.currentDirectory);
    struct stat st {};
    if (!dir || ::stat(dir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
    request.directory = *dir;
  }
  return PrepareProgram(request.program);
}

// posix_spawn with a clean signal state and no descriptors past the standard three.
uint32_t Spawn(const SpawnRequest& request, pid_t* pid) {
  std::vector<char*> argv;
  for (const std::string& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (request.directory) posix_spawn_file_actions_addchdir_np(&actions, request.directory->c_str());
  sigset_t noSignals, allSignals;
  sigemptyset(&noSignals);
  sigfillset(&allSignals);
  posix_spawnattr_setsigmask(&attr, &noSignals);
  posix_spawnattr_setsigdefault(&attr, &allSignals);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  const int rc = ::posix_spawn(pid, request.program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? ERROR_SUCCESS : SpawnError(rc);
}

// ---------------------------------------------------------------------------------------------
// Waiting

// Milliseconds left before `deadline`, as poll takes them (-1: no limit).
int PollTimeout(std::optional<std::chrono::steady_clock::time_point> deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

bool ForeignAlive(const Process::State& s) {
  if (s.pidfd >= 0) {
    pollfd p{s.pidfd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
  }
  const auto stat = ReadProcStat(s.pid);
  return stat && !HasEnded(*stat);
}

uint32_t WaitForeign(const Process::State& s, std::optional<std::chrono::steady_clock::time_point> deadline) {
  for (;;) {
    const int left = PollTimeout(deadline);
    if (s.pidfd >= 0) {
      pollfd p{s.pidfd, POLLIN, 0};
      const int rc = ::poll(&p, 1, left);
      if (rc > 0) return WAIT_OBJECT_0;
      if (rc < 0 && errno != EINTR) return WAIT_FAILED;
      if (rc == 0 && left == 0) return WAIT_TIMEOUT;
    } else {
      if (!ForeignAlive(s)) return WAIT_OBJECT_0;
      if (left == 0) return WAIT_TIMEOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(left < 0 || left > 10 ? 10 : left));
    }
  }
}

int OpenPidfd(uint32_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
  errno = ENOSYS;
  return -1;
#endif
}

int SignalPidfd(int pidfd, int signal) {
#ifdef SYS_pidfd_send_signal
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
#else
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Process

Process::Process(std::shared_ptr<State> state) : m_state(std::move(state)) {}
Process::~Process() = default;

std::unique_ptr<Process> Process::Create(const ProcessStartup& startup, ProcessIds* ids) {
  SpawnRequest request;
  if (const uint32_t error = BuildRequest(startup, request); error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  pid_t pid = 0;
  if (const uint32_t error = Spawn(request, &pid); error != ERROR_SUCCESS) {
    SetLastError(error);
    return nullptr;
  }
  auto state = std::make_shared<State>();
  state->pid = static_cast<uint32_t>(pid);
  state->child = true;
  {
    ChildTable& t = Children();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.children[state->pid] = state;
  }
  try {
    std::thread(ReapWhenEnded, state).detach();
  } catch (const std::system_error&) {
    // Without a reaper nobody could collect it: end it now rather than leave a zombie.
    ::kill(pid, SIGKILL);
    ReapWhenEnded(state);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (ids != nullptr) *ids = ProcessIds{state->pid, state->pid};
  return std::unique_ptr<Process>(new Process(std::move(state)));
}

std::unique_ptr<Process> Process::Open(uint32_t processId, uint32_t access) {
  if (processId == 0 || processId > static_cast<uint32_t>(INT_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (StatePtr child = FindChild(processId)) return std::unique_ptr<Process>(new Process(std::move(child)));

  const auto stat = ReadProcStat(processId);
  if (!stat || HasEnded(*stat)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if ((access & PROCESS_TERMINATE) != 0 && ::kill(static_cast<pid_t>(processId), 0) != 0) {
    SetLastError(errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto state = std::make_shared<State>();
  state->pid = processId;
  state->pidfd = OpenPidfd(processId);
  if (state->pidfd < 0 && errno == ESRCH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return std::unique_ptr<Process>(new Process(std::move(state)));
}

uint32_t Process::id() const { return m_state->pid; }

uint32_t Process::Wait(uint32_t timeoutMs) {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (timeoutMs != INFINITE) deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  State& s = *m_state;
  if (!s.child) return WaitForeign(s, deadline);
  std::unique_lock<std::mutex> lock(s.mutex);
  if (!deadline) {
    s.ended.wait(lock, [&] { return s.exited; });
    return WAIT_OBJECT_0;
  }
  return s.ended.wait_until(lock, *deadline, [&] { return s.exited; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

bool Process::GetExitCode(uint32_t* code) {
  if (code == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  State& s = *m_state;
  if (!s.child) {
    if (ForeignAlive(s)) {
      *code = STILL_ACTIVE;
      return true;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
  }
  std::lock_guard<std::mutex> lock(s.mutex);
  *code = s.exitCode;
  return true;
}

bool Process::Terminate(uint32_t exitCode) {
  State& s = *m_state;
  if (s.child) {
    std::lock_guard<std::mutex> lock(s.mutex);
    // Not reaped yet, so the id still names our child.
    if (s.exited || s.terminateCode) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    if (::kill(static_cast<pid_t>(s.pid), SIGKILL) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return false;
    }
    s.terminateCode = exitCode;
    return true;
  }
  const int rc = s.pidfd >= 0 ? SignalPidfd(s.pidfd, SIGKILL) : ::kill(static_cast<pid_t>(s.pid), SIGKILL);
  if (rc != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}

std::wstring Process::ImagePath() const {
  const auto host = ImageHostPath(m_state->pid);
  if (!host) {
    SetLastError(ERROR_ACCESS_DENIED);
    return std::wstring();
  }
  return ToDrivePath(*host);
}

// ---------------------------------------------------------------------------------------------
// Enumeration and the running program

std::vector<ProcessEntry> SnapshotProcesses() {
  std::vector<ProcessEntry> entries;
  entries.push_back(ProcessEntry{0, 0, L"[System Process]"});
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return entries;
  std::vector<uint32_t> ids;
  while (const dirent* e = ::readdir(dir)) {
    char* end = nullptr;
    const unsigned long id = std::strtoul(e->d_name, &end, 10);
    if (end != e->d_name && *end == '\0' && id > 0 && id <= static_cast<unsigned long>(INT_MAX))
      ids.push_back(static_cast<uint32_t>(id));
  }
  ::closedir(dir);
  std::sort(ids.begin(), ids.end());
  for (const uint32_t id : ids) {
    const auto stat = ReadProcStat(id);
    if (!stat || HasEnded(*stat)) continue;
    entries.push_back(ProcessEntry{id, stat->parent, ExeFileName(id, stat->comm)});
  }
  return entries;
}

std::wstring GetModuleFileName() {
  const auto host = ReadLink("/proc/self/exe");
  return host ? ToDrivePath(*host) : std::wstring();
}

}  // namespace platform
