// CMainApp: the one application object. It holds the process-wide options and starts and stops
// the background services in a fixed order around the main window's life.
#pragma once

#include <cstdint>
#include <string>

class CCmdLineOptions;
class CMainDlg;

// The identity the download statistics carry: version tag and name tag.
struct StatIdentity {
  std::wstring versionTag;
  std::wstring nameTag;
};
// Plain tags for game id 0; otherwise both tagged with the id.
StatIdentity BuildStatIdentity(int gameId);

class CMainApp {
 public:
  static CMainApp* GetInstance();

  // Takes hide, id and run from the parsed command line (before the single-instance test). A
  // parse error leaves the options found before it in effect.
  void ApplyCommandLine(const CCmdLineOptions& options);

  // Once, after the main window object exists and before its native window is made.
  bool Init(CMainDlg* mainDlg);
  // Once, after the message loop has ended.
  bool UnInit();

  CMainDlg* m_pMainDlg = nullptr;  // not owned
  int32_t m_id = 0;                // game id that overrides the product id; 0: none
  bool m_hide = false;             // hidden mode: no window, no message box
  bool m_run = true;               // start the launcher after a successful install
  std::wstring m_statUrl;          // handed to the statistics reporter; set by Init

 private:
  CMainApp();
};
