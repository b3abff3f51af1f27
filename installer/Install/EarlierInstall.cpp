#include "installer/Install/EarlierInstall.h"

#include <map>

#include "commonlib/logger/Log.h"
#include "commonlib/util/CommonUtils.h"
#include "commonlib/util/FileUtils.h"
#include "platform/process.h"

namespace install {

namespace {

// After a termination the process is given this long to be gone, so that the next pass does not
// find it dying.
constexpr uint32_t kEndedWaitMs = 1000;

bool IsOnlyDotsAndBlanks(const std::wstring& element) {
  return element.find_first_not_of(L". ") == std::wstring::npos;
}

bool EndProcess(uint32_t processId) {
  const auto process = platform::Process::Open(processId, platform::SYNCHRONIZE | platform::PROCESS_TERMINATE);
  if (!process) return false;
  if (process->Wait(100) != platform::WAIT_OBJECT_0) {
    process->Terminate(0);
    process->Wait(kEndedWaitMs);
  }
  return true;
}

}  // namespace

bool IsCleanableInstallDir(const std::wstring& installDir) {
  const std::wstring dir = NormalizePath(installDir);
  if (!IsValidInstallPath(dir)) return false;
  size_t start = dir.find(L'\\');
  if (start == std::wstring::npos) return false;  // "X:" alone
  while (start != std::wstring::npos) {
    const size_t end = dir.find(L'\\', start + 1);
    if (IsOnlyDotsAndBlanks(dir.substr(start + 1, end - start - 1))) return false;
    start = end;
  }
  return true;
}

ProcessSweepOps RealProcessSweepOps() { return {&FindProcessByPath, &EndProcess}; }

bool EndProcessesUnder(const std::wstring& dir, const ProcessSweepOps& ops) {
  std::map<uint32_t, int> attempts;
  for (int pass = 0; pass < kMaxSweepPasses; ++pass) {
    const uint32_t processId = ops.find(dir);
    if (processId == 0) return true;
    if (++attempts[processId] > kMaxEndAttemptsPerProcess) {
      LOGW(L"CleanEarlierInstall() 进程 %u 结束后仍在运行，停止结束进程", processId);
      return false;
    }
    if (!ops.end(processId)) {
      LOGW(L"CleanEarlierInstall() 无法打开进程 %u，停止结束进程", processId);
      return false;
    }
    LOGI(L"CleanEarlierInstall() 结束进程 %u", processId);
  }
  LOGW(L"CleanEarlierInstall() 结束进程次数达到上限 %d", kMaxSweepPasses);
  return false;
}

bool CleanEarlierInstall(const std::wstring& installDir, const ProcessSweepOps& ops) {
  if (!IsCleanableInstallDir(installDir)) {
    LOGE(L"CleanEarlierInstall() 安装目录不可清理:\"%s\"", installDir);
    return false;
  }
  const std::wstring dir = NormalizePath(installDir);
  EnableDebugPrivilege();
  EndProcessesUnder(dir, ops);
  DeleteDirectoryTree(dir + L"\\bin\\");
  DeleteDirectoryTree(dir + L"\\patch\\");
  for (const wchar_t* name : kEarlierInstallFiles) DeleteFileIfExists(dir + L"\\" + name);
  LOGI(L"CleanEarlierInstall() 清理完成 %s", dir);
  return true;
}

}  // namespace install
