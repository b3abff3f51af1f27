#include "installer/Install/InstallThread.h"

#include <cstdio>
#include <utility>

#include "commonlib/logger/Log.h"
#include "commonlib/util/FileUtils.h"
#include "installer/Install/EarlierInstall.h"
#include "installer/Install/Launcher.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/process.h"
#include "platform/text.h"

namespace install {

namespace {

constexpr uint32_t kCounterPollMs = 20;
constexpr uint32_t kWaitSliceMs = 50;

// A bad package must not stay where the download engine would take a file of the expected size
// for a finished download and hand the same bytes back.
void RemoveBadPackage(const std::wstring& packagePath) {
  if (DeleteFileIfExists(packagePath)) return;
  const std::wstring aside = packagePath + L".bad";
  if (MoveFileWithRetry(packagePath, aside, 2)) {
    LOGW(L"CInstallThread 安装包无法删除，已移至 %s", aside);
    return;
  }
  LOGE(L"CInstallThread 安装包无法删除 %s err:%u", packagePath, platform::GetLastError());
}

// Runs the package and waits for it. False only when a stop request cut the wait.
bool RunPackage(const InstallJob& job, const CStopFlag& stop) {
  platform::ProcessStartup startup;
  startup.application = job.packagePath;
  startup.commandLine = PackageCommandLine(job.packagePath, job.installDir);
  LOGI(L"CInstallThread 运行安装包 %s", startup.commandLine);
  const std::unique_ptr<platform::Process> package = platform::Process::Create(startup);
  if (!package) {
    LOGE(L"CInstallThread 安装包启动失败 err:%u", platform::GetLastError());
    return true;
  }
  while (package->Wait(kWaitSliceMs) == platform::WAIT_TIMEOUT) {
    if (stop.IsSet()) return false;
  }
  uint32_t code = 0;
  package->GetExitCode(&code);
  LOGI(L"CInstallThread 安装包结束 code:%u", code);
  return true;
}

void WritePackageId(const InstallJob& job) {
  if (job.packageId == L"0") return;
  CreateDir(job.installDir);
  const std::wstring path = job.installDir + L"\\" + kPackageIdFile;
  FILE* file = platform::OpenCFile(path, "w+");
  if (file == nullptr) {
    LOGE(L"CInstallThread 写入 %s 失败 err:%u", path, platform::GetLastError());
    return;
  }
  const std::string text = platform::WideToAnsi(job.packageId);
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

// The install itself, on the thread. Touches only its arguments, never the thread object.
void Install(const InstallJob& job, CInstallProgress& progress, IInstallReport& report, const CStopFlag& stop) {
  if (!job.expectedMd5.empty() && !(job.verify && job.verify(job.packagePath, job.expectedMd5))) {
    LOGE(L"CInstallThread 安装包校验失败 %s", job.packagePath);
    RemoveBadPackage(job.packagePath);
    report.OnBadPackage();
    return;
  }
  report.OnInstallPhase(InstallPhase::kInstalling);
  if (job.launcherFound) CleanEarlierInstall(job.installDir);
  if (!RunPackage(job, stop)) return;
  WritePackageId(job);

  progress.SetLaunching();
  const bool reachedEnd = stop.WaitUntil([&progress] { return progress.Counter() >= kInstallCounterEnd; },
                                         platform::INFINITE, kCounterPollMs);
  if (!reachedEnd) return;
  if (job.run) LaunchLauncher(LauncherPathIn(job.installDir), job.gameId);
  DeleteFileIfExists(job.packagePath);
  LOGI(L"CInstallThread 安装完成");
  report.OnInstallDone();
}

}  // namespace

std::wstring PackageCommandLine(const std::wstring& packagePath, const std::wstring& installDir) {
  return platform::StrFormat(L"%s /S \"/unpack=%s\" /launch=off", packagePath, installDir);
}

CInstallThread::CInstallThread(InstallJob job, std::shared_ptr<CInstallProgress> progress,
                               std::shared_ptr<IInstallReport> report)
    : m_job(std::move(job)), m_progress(std::move(progress)), m_report(std::move(report)) {}

CInstallThread::~CInstallThread() { DestroyThread(kStopTimeoutMs); }

void CInstallThread::Run() {
  // Everything the install needs, kept by the thread itself: it may be abandoned.
  const InstallJob job = m_job;
  const std::shared_ptr<CInstallProgress> progress = m_progress;
  const std::shared_ptr<IInstallReport> report = m_report;
  const std::shared_ptr<const CStopFlag> stop = StopFlag();
  Install(job, *progress, *report, *stop);
}

}  // namespace install
