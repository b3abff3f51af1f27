// vkdl: downloads one file with the download engine on the real message loop, reports progress
// once a second on standard error and ends with the task's outcome pair and the MD5 check.
// Running it again after an interruption resumes from the engine's meta file. One run at a time
// per target: the data file is locked for the run.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/engine/DownloadTask.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "commonlib/util/FileUtils.h"
#include "platform/console.h"
#include "platform/drives.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/message_loop.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "tools/vkdl/FileHasher.h"
#include "tools/vkdl/OutcomeText.h"
#include "tools/vkdl/ProgressLine.h"
#include "tools/vkdl/VkdlOptions.h"

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitWrongMd5 = 3, kExitBusy = 4 };
constexpr int32_t kTaskId = 1;
// How often the hasher is told how far the data file is final.
constexpr uint32_t kHasherFollowMs = 50;

struct Run {
  VkdlOptions options;
  std::wstring target;  // the drive path
  bool terminal = false;
  bool done = false;
  int et = 0;
  int ec = 0;
  int signal = 0;
  bool barShown = false;
  std::unique_ptr<CFileHasher> hasher = std::make_unique<CFileHasher>();
  CHttpHousekeeping housekeeping;
};

Run* g_run = nullptr;

void Print(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

void EndBar() {
  if (g_run->barShown) Print("\n");
  g_run->barShown = false;
}

// The first byte not yet on disk: everything before it is final and can be hashed.
uint64_t FinalPrefix(const CDownloadTask& task) {
  uint64_t prefix = static_cast<uint64_t>(task.FileSize());
  for (const ByteRange& gap : task.Gaps()) prefix = std::min(prefix, gap.start);
  return prefix;
}

void OnProgress(uint32_t, int64_t fileSize, int64_t completed, int32_t speed) {
  const ProgressSample sample{fileSize, completed, speed};
  if (g_run->terminal) {
    Print("\r" + FormatProgressBar(sample) + "\x1b[K");
    g_run->barShown = true;
  } else {
    Print("vkdl: " + FormatProgressLine(sample) + "\n");
  }
}

// Lets the hasher follow the data file closely, so that little is left to hash at the end.
void HasherProc(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
  CDownloadTask* const task = CDownloadTaskQueue::GetInstance()->FindTaskByKey(g_run->options.md5);
  if (task == nullptr) return;
  if (!g_run->hasher->Begun()) g_run->hasher->Begin(task->GetTempPath());
  g_run->hasher->Advance(FinalPrefix(*task));
}

void OnDone(uint32_t, int32_t et, int32_t ec) {
  g_run->done = true;
  g_run->et = et;
  g_run->ec = ec;
  platform::PostQuitMessage(0);
}

void HousekeepingProc(platform::HWND, platform::UINT, platform::UINT_PTR, uint32_t) {
  g_run->housekeeping.Tick(GetDownloadHttpMgr(), nullptr);
}

void OnTerminationSignal(int signalNumber) {
  if (g_run->done || g_run->signal != 0) return;
  g_run->signal = signalNumber;
  CancelDownload(g_run->options.url.c_str(), g_run->target.c_str());
  platform::PostQuitMessage(0);
}

void Download(Run& run) {
  InitMainThreadDispatcher();
  DownloadEngineInit();
  SetDownloadCallbacks(&OnProgress, &OnDone);
  const platform::UINT_PTR housekeeping =
      platform::SetTimer(nullptr, 0, CHttpHousekeeping::kPeriodMs, &HousekeepingProc);
  const platform::UINT_PTR hashing = platform::SetTimer(nullptr, 0, kHasherFollowMs, &HasherProc);
  {
    platform::TerminationSignalWatch watch(&OnTerminationSignal);
    const VkdlOptions& o = run.options;
    const bool queued = DownloadFile(o.md5.c_str(), o.cdnHost.c_str(), o.url.c_str(), o.ips.c_str(), run.target.c_str(),
                                     o.size, kTaskId, o.cdnMinSpeed, "");
    if (!queued) {
      run.done = true;
      run.et = -1;
    }
    if (!run.done) platform::RunMessageLoop();
  }
  platform::KillTimer(nullptr, hashing);
  platform::KillTimer(nullptr, housekeeping);
  DownloadEngineUninit();
  ShutdownMainThreadDispatcher();
}

// A file that failed its check must not stay where the next run takes it for complete (a target
// of the expected size is trusted without a request): it is moved aside, or else removed.
std::string SetAside(const Run& run) {
  const std::wstring aside = run.target + L".bad";
  if (MoveFileWithRetry(run.target, aside, 0)) return "the file was moved to " + run.options.out + ".bad";
  const uint32_t error = platform::GetLastError();
  if (DeleteFileIfExists(run.target)) return "the file was removed (moving it aside failed: " + SystemErrorText(error) + ")";
  return "the file could not be moved aside nor removed (" + SystemErrorText(platform::GetLastError()) +
         "): delete it before the next run";
}

// The check covers the target itself, its length included: the hasher may have followed a data
// file that never became the target (a target found complete, a data file removed under the run).
int Verify(Run& run) {
  const std::string expected = platform::WideToUtf8(run.options.md5);
  const int64_t size = FileExists(run.target) ? GetFileSize(run.target) : -1;
  if (size != run.options.size) {
    Print(platform::StrFormat("vkdl: check failed: %s is %s, expected %lld bytes", run.options.out.c_str(),
                              size < 0 ? "missing" : platform::StrFormat("%lld bytes", size).c_str(),
                              static_cast<long long>(run.options.size)));
    Print(size < 0 ? "\n" : "; " + SetAside(run) + "\n");
    return kExitWrongMd5;
  }
  if (run.hasher->Begun() && !run.hasher->Follows(run.target)) run.hasher = std::make_unique<CFileHasher>();
  if (!run.hasher->Begun() && !run.hasher->Begin(run.target)) {
    Print("vkdl: md5 not checked: cannot read " + run.options.out + ": " + SystemErrorText(platform::GetLastError()) +
          "\n");
    return kExitWrongMd5;
  }
  const std::string actual = run.hasher->Finish(static_cast<uint64_t>(run.options.size));
  if (actual != expected) {
    Print("vkdl: md5 mismatch: expected " + expected + ", got " + (actual.empty() ? "nothing (read failed)" : actual) +
          "; " + SetAside(run) + ", so the next run downloads it again\n");
    return kExitWrongMd5;
  }
  Print("vkdl: md5 ok " + actual + "\n");
  return kExitOk;
}

// Locks the data file (made empty when missing) for the run. Invalid when another run holds it
// (ERROR_LOCK_VIOLATION), or when the file cannot be opened at all: the engine then says why.
platform::FileHandle LockDataFile(const std::wstring& dataPath) {
  const platform::FileHandle file =
      platform::CreateFile(dataPath, platform::GENERIC_READ,
                           platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                           platform::OPEN_ALWAYS, false);
  if (file == platform::kInvalidFile) return file;
  if (platform::TryLockFile(file)) return file;
  const uint32_t error = platform::GetLastError();
  platform::CloseHandle(file);
  platform::SetLastError(error);
  return platform::kInvalidFile;
}

// Removes the empty data file the lock made when the engine never used it (a target found
// complete), while still holding the lock.
void UnlockDataFile(platform::FileHandle lock, const std::wstring& dataPath) {
  if (lock == platform::kInvalidFile) return;
  if (platform::IsSameFile(lock, dataPath) && GetFileSize(dataPath) == 0 && !FileExists(dataPath + L".vkmt"))
    DeleteFileIfExists(dataPath);
  platform::CloseHandle(lock);
}

int Finish(Run& run) {
  if (run.signal != 0) {
    Print(platform::StrFormat("vkdl: stopped by signal %d; run the same command again to resume\n", run.signal));
    return 128 + run.signal;
  }
  if (run.et == -1) {
    Print("vkdl: refused: this target or hash is already being downloaded\n");
    return kExitFailed;
  }
  Print(platform::StrFormat("vkdl: outcome (%d, %d)\n", run.et, run.ec));
  if (run.et != 0 || run.ec != 0) {
    DownloadEndDetail detail;
    GetDownloadEndDetail(kTaskId, &detail);
    Print("vkdl: failed: " + OutcomeText(run.et, run.ec, detail, run.options.out) + "\n");
    return kExitFailed;
  }
  return Verify(run);
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  g_run = &run;
  std::string error;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!ParseVkdlArguments(args, run.options, error)) {
    Print("vkdl: " + error + "\n" + VkdlUsage());
    return kExitUsage;
  }
  if (run.options.help) {
    std::fputs(VkdlUsage().c_str(), stdout);
    return kExitOk;
  }
  run.target = platform::ToDrivePath(run.options.out);
  if (run.target.empty()) {
    Print("vkdl: --out " + run.options.out + " lies on no drive of the drive map\n" + VkdlUsage());
    return kExitUsage;
  }
  run.terminal = platform::StandardErrorIsTerminal();

  const std::wstring dataPath = run.target + L".vkdt";
  const platform::FileHandle lock = LockDataFile(dataPath);
  if (lock == platform::kInvalidFile && platform::GetLastError() == platform::ERROR_LOCK_VIOLATION) {
    Print("vkdl: refused: another vkdl run is downloading " + run.options.out + " (its data file " + run.options.out +
          ".vkdt is locked); wait for it to end\n");
    return kExitBusy;
  }
  Download(run);
  EndBar();
  const int code = Finish(run);
  UnlockDataFile(lock, dataPath);
  return code;
}
