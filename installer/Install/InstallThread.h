// The install thread: started once the package is in place, it runs the install to its end in
// this order:
//   1. check the package against the expected MD5 (an empty MD5 skips the check); a bad package is
//      removed, reported, and nothing else happens;
//   2. report the phase "installing";
//   3. when a launcher was found at start-up, clean the earlier installation;
//   4. run the package with "<package> /S "/unpack=<install dir>" /launch=off" and wait for it;
//   5. write the package id into "tg.id" in the install directory, unless the id is "0";
//   6. set the launching flag, wait until the window's install counter reaches its end, start the
//      launcher when asked to, delete the package;
//   7. report that the install is done.
// Failures after step 1 are logged and otherwise silent, as the program ends the same way.
//
// The main window plugs in as follows (StartInstall, on the main thread):
//   m_progress->Reset();  SetTimer(11, 100);          // the timer calls m_progress->Tick()
//   m_packagePath = PackagePathIn(m_downloadDir);
//   m_installThread = std::make_unique<CInstallThread>(InstallJob{...}, m_progress,
//                                                     std::make_shared<CInstallWindowReport>(hwnd));
//   m_installThread->StartThread();
//
// The thread copies its job and holds the progress and the report through shared_ptrs, so its
// owner may go at any time: a stop request ends the waits of steps 4 and 6 within 50 ms, and the
// thread then does nothing more (the package is left to finish on its own).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "commonlib/thread/SimpleThread.h"
#include "installer/Install/InstallProgress.h"
#include "installer/Install/InstallReport.h"

namespace install {

inline constexpr const wchar_t* kPackageIdFile = L"tg.id";

// Whether the file at `path` has the MD5 `expected`.
using PackageVerifier = std::function<bool(const std::wstring& path, const std::wstring& expected)>;

struct InstallJob {
  std::wstring packagePath;
  std::wstring installDir;
  std::wstring expectedMd5;     // empty: no check
  std::wstring packageId;       // written to "tg.id" unless it is "0"
  bool launcherFound = false;   // clean the earlier installation first
  bool run = true;              // start the launcher at the end
  int32_t gameId = 0;           // passed to the launcher
  PackageVerifier verify;       // needed when expectedMd5 is set; a package cannot pass without it
};

// "<package> /S "/unpack=<install dir>" /launch=off"
std::wstring PackageCommandLine(const std::wstring& packagePath, const std::wstring& installDir);

class CInstallThread : public CSimpleThread {
 public:
  // How long the destructor waits for the thread before abandoning it.
  static constexpr uint32_t kStopTimeoutMs = 2000;

  CInstallThread(InstallJob job, std::shared_ptr<CInstallProgress> progress, std::shared_ptr<IInstallReport> report);
  ~CInstallThread() override;

 protected:
  void Run() override;

 private:
  const InstallJob m_job;
  const std::shared_ptr<CInstallProgress> m_progress;
  const std::shared_ptr<IInstallReport> m_report;
};

}  // namespace install
