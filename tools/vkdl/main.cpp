// vkdl: downloads one file with the download engine on the real message loop, reports progress
// once a second on standard error and ends with the task's outcome pair and the MD5 check.
// Running it again after an interruption resumes from the engine's meta file.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/engine/DownloadTask.h"
#include "commonlib/engine/DownloadTaskQueue.h"
#include "commonlib/http/HttpHousekeeping.h"
#include "commonlib/thread/MainThreadDispatcher.h"
#include "platform/console.h"
#include "platform/drives.h"
#include "platform/format.h"
#include "platform/message_loop.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "platform/timer.h"
#include "tools/vkdl/FileHasher.h"
#include "tools/vkdl/ProgressLine.h"
#include "tools/vkdl/VkdlOptions.h"

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitWrongMd5 = 3 };
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
  CFileHasher hasher;
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
  if (!g_run->hasher.Begun()) g_run->hasher.Begin(task->GetTempPath());
  g_run->hasher.Advance(FinalPrefix(*task));
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
                                     o.size, 1, o.cdnMinSpeed, "");
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

int Verify(Run& run) {
  if (!run.hasher.Begun() && !run.hasher.Begin(run.target + L".vkdt") &&
      !run.hasher.Begin(run.target)) {
    Print("vkdl: md5 not checked: cannot read " + run.options.out + "\n");
    return kExitWrongMd5;
  }
  // The hasher follows the data file, which is now the target (a rename keeps the open file).
  const std::string actual = run.hasher.Finish(static_cast<uint64_t>(run.options.size));
  const std::string expected = platform::WideToUtf8(run.options.md5);
  if (actual != expected) {
    Print("vkdl: md5 mismatch: expected " + expected + ", got " + (actual.empty() ? "nothing (read failed)" : actual) +
          "\n");
    return kExitWrongMd5;
  }
  Print("vkdl: md5 ok " + actual + "\n");
  return kExitOk;
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

  Download(run);
  EndBar();
  if (run.signal != 0) {
    Print(platform::StrFormat("vkdl: stopped by signal %d; run the same command again to resume\n", run.signal));
    return 128 + run.signal;
  }
  if (run.et == -1) {
    Print("vkdl: refused: this target or hash is already being downloaded\n");
    return kExitFailed;
  }
  Print(platform::StrFormat("vkdl: outcome (%d, %d)\n", run.et, run.ec));
  if (run.et != 0 || run.ec != 0) return kExitFailed;
  return Verify(run);
}
