// Cleaning an earlier installation before the package is run over it: end the processes running
// from the install directory, then remove its "bin\" and "patch\" folders and the launcher's files.
//
// The clean-up deletes and terminates by path prefix, so it refuses a directory that would reach
// too far: an empty one (its "\bin\" would be a drive's), a drive root (every process of the
// drive), or one whose path resolves to a root ("C:\.", "D:\x\.."). And it does not keep trying
// forever: a process that is found again after being ended, or that cannot be opened, stops the
// process sweep (it would be found first on every pass), which is logged; the files are then
// removed as far as they can be.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace install {

// The files removed from the install directory, in this order.
inline constexpr const wchar_t* kEarlierInstallFiles[] = {
    L"VelkorLauncher.exe", L"ywupdate.ini", L"uninst.exe",       L"Launcher.ini",
    L"tg.id",              L"preference.ini", L"GameSettings.ini"};

// How often one process may be found and asked to end before the sweep gives up on it, and how
// many passes a sweep makes at most.
inline constexpr int kMaxEndAttemptsPerProcess = 3;
inline constexpr int kMaxSweepPasses = 256;

// Whether `installDir` names a directory below a drive root: "X:" followed by at least one
// element, no element empty or made only of dots and blanks (those resolve to a parent or vanish).
bool IsCleanableInstallDir(const std::wstring& installDir);

// The process operations of the sweep. The real ones find processes by image path and end them
// (wait 100 ms, then terminate); tests replace them only to simulate a process that cannot be
// ended, which a real process run by the same user (or by root) never is here.
struct ProcessSweepOps {
  // A running process whose image lies under the directory, 0 when there is none.
  std::function<uint32_t(const std::wstring& dir)> find;
  // Asks the process to end and ends it; false when it cannot even be opened.
  std::function<bool(uint32_t processId)> end;
};
ProcessSweepOps RealProcessSweepOps();

// Ends every process running from `dir`. True when none is left; false when the sweep gave up.
bool EndProcessesUnder(const std::wstring& dir, const ProcessSweepOps& ops = RealProcessSweepOps());

// The whole clean-up. False (and nothing touched) when `installDir` is refused; true otherwise,
// even when some process or file could not be removed.
bool CleanEarlierInstall(const std::wstring& installDir, const ProcessSweepOps& ops = RealProcessSweepOps());

}  // namespace install
