// Processes with Windows semantics: a program is started from a drive path and a Windows command
// line, which is split into the argument vector the way the Windows C runtime splits it; processes
// are enumerated with their image paths as drive paths, waited for, asked for their exit code and
// terminated.
//
// Every child started here is reaped by a small thread of its own once it ends, whether or not
// anybody still holds a Process for it, so no zombie is left behind. Until then its id cannot be
// reused, which makes terminating a child by id safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint32_t STILL_ACTIVE = 259;
inline constexpr uint32_t INFINITE = 0xFFFFFFFF;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;
inline constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;

// Access rights asked for when a running process is opened.
inline constexpr uint32_t PROCESS_TERMINATE = 0x0001;
inline constexpr uint32_t PROCESS_VM_READ = 0x0010;
inline constexpr uint32_t PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr uint32_t SYNCHRONIZE = 0x00100000;
inline constexpr uint32_t PROCESS_ALL_ACCESS = 0x001FFFFF;

// The arguments of a Windows command line, split by the C runtime's rules:
// - the program name (the first element) ends at the first space or tab, or, when it begins with
//   a quote, at the next quote; backslashes in it are plain characters;
// - the other arguments are separated by spaces and tabs; a quote starts or ends a quoted part,
//   in which spaces and tabs are kept; 2n backslashes followed by a quote give n backslashes and
//   the quote delimits, 2n+1 backslashes followed by a quote give n backslashes and a literal
//   quote; backslashes not followed by a quote are plain; "" inside a quoted part is a literal
//   quote and the quoted part goes on;
// - a line that begins with white space has an empty program name.
// An empty line gives no elements. The line ends at the first NUL character.
std::vector<std::wstring> CommandLineToArgv(std::wstring_view commandLine);

struct ProcessIds {
  uint32_t processId = 0;
  uint32_t threadId = 0;  // the main thread
};

struct ProcessStartup {
  // The program, a drive path. Empty: the first element of the command line.
  std::wstring application;
  // The Windows command line; the program receives its elements as its argument vector (UTF-8).
  // Empty: the program receives the application path alone.
  std::wstring commandLine;
  // The working directory, a drive path. Empty: the caller's.
  std::wstring currentDirectory;
};

class Process {
 public:
  struct State;

  // Starts a program with the caller's environment and only the standard descriptors 0-2. A
  // program file without its execute bit (a downloaded one) gets it first. Null on failure, with
  // the last error: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND (missing directory, unknown drive),
  // ERROR_ACCESS_DENIED, ERROR_BAD_EXE_FORMAT, ERROR_DIRECTORY (bad working directory),
  // ERROR_INVALID_PARAMETER (nothing to start).
  static std::unique_ptr<Process> Create(const ProcessStartup& startup, ProcessIds* ids = nullptr);

  // Opens a running process. Null on failure, with the last error: ERROR_INVALID_PARAMETER for an
  // id that names no process (0 among them), ERROR_ACCESS_DENIED when the access cannot be had.
  static std::unique_ptr<Process> Open(uint32_t processId, uint32_t access);

  // Closing never ends the process.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  uint32_t id() const;

  // WAIT_OBJECT_0 once the process has ended, WAIT_TIMEOUT after `timeoutMs` (INFINITE: no limit),
  // WAIT_FAILED when it cannot be waited for.
  uint32_t Wait(uint32_t timeoutMs);

  // STILL_ACTIVE while running; then the code it exited with, the code given to Terminate, or
  // 128 plus the number of the signal that ended it otherwise. For a process that is not our
  // child the code of an ended process is unknown: false, ERROR_NOT_SUPPORTED.
  bool GetExitCode(uint32_t* code);

  // Ends the process at once. False, ERROR_ACCESS_DENIED, when it has already ended or may not be
  // ended.
  bool Terminate(uint32_t exitCode);

  // The image path as a drive path; empty (ERROR_ACCESS_DENIED) when it cannot be read.
  std::wstring ImagePath() const;

 private:
  explicit Process(std::shared_ptr<State> state);
  std::shared_ptr<State> m_state;
};

struct ProcessEntry {
  uint32_t processId = 0;
  uint32_t parentProcessId = 0;
  std::wstring exeFile;  // the file name of the image, without directory
};

// The running processes in ascending order of id. As on Windows, the first entry is the idle
// pseudo-process (id 0, "[System Process]"); processes that have ended are left out.
std::vector<ProcessEntry> SnapshotProcesses();

// The drive path of the running program; empty when it cannot be read or lies on no drive.
std::wstring GetModuleFileName();

}  // namespace platform
