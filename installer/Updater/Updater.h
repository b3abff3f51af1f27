// CUpdater: the network side of one install attempt. It fetches the install descriptor from the
// update URLs in order, one request each, stores it as a temporary INI file and reads it, starts
// the package download through the download engine with the spare list of that moment, and
// reports to the main window through IGameEventListener. Every result of the HTTP and download
// layers is posted to its message-only helper window and handled there, on the main thread.
//
// The main window drives it: construct; CreateHelperWindow; create the download directory;
// RequestInfo. A retry sets m_nextUrl to 0 and calls RequestInfo again. Stop, then delete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commonlib/core/ProtoValue.h"
#include "commonlib/http/HttpCommand.h"
#include "installer/Updater/IGameEventListener.h"
#include "platform/messages.h"

// Helper-window messages.
inline constexpr platform::UINT UM_INFO_RESULT = 2024;
inline constexpr platform::UINT UM_PROGRESS = 2025;
inline constexpr platform::UINT UM_DOWNLOAD_RESULT = 2026;

// The descriptor is a few hundred bytes; a larger answer is refused as (3, this code) and the
// next URL is tried, so an endless or huge answer never reaches the disk or the INI reader.
inline constexpr size_t kMaxDescriptorBytes = 64 * 1024;
inline constexpr int kUpdaterDescriptorTooLarge = 5001;
// A descriptor without a package URL or a positive size names no package: the engine would
// report an empty file as a finished download. It counts as (3, this code), like a failed URL.
inline constexpr int kUpdaterDescriptorUnusable = 5002;

inline constexpr wchar_t kPackageFileName[] = L"vkinstaller.exe";
inline constexpr wchar_t kDownloadFailedText[] = L"安装失败";

class CUpdater {
 public:
  CUpdater(const std::wstring& dir, IGameEventListener* listener);
  ~CUpdater();
  CUpdater(const CUpdater&) = delete;
  CUpdater& operator=(const CUpdater&) = delete;

  // Registers the numbered class and creates the helper window; 0 on success, -1 otherwise.
  int CreateHelperWindow();
  // Requests the descriptor from the URL at m_nextUrl and advances it. False when every URL has
  // been asked already or the request could not be handed over.
  bool RequestInfo();
  // Starts the package download; false when the download directory cannot be created or the
  // queue refuses the task (one for the same package is still queued).
  bool StartDownload();
  // Cancels the request and the download and destroys the helper window.
  void Stop();

  // Whether the file has the expected MD5 (case ignored). An empty expectation checks nothing and
  // passes; a file that cannot be read fails. Any thread.
  static bool VerifyPackage(const std::wstring& path, const std::wstring& expected);

  // The class-name number of the next helper window (tests).
  static int32_t NextWindowNumberForTesting();

  std::wstring m_body;
  ProtoValue m_progress;
  platform::HWND m_hwnd = nullptr;
  std::vector<std::wstring> m_urls;
  int32_t m_nextUrl = 0;
  CHttpCommand m_command;
  bool m_downloading = false;
  std::wstring m_dir;
  std::wstring m_className;
  IGameEventListener* m_listener;
  std::wstring m_url;
  std::wstring m_md5;
  std::wstring m_size;
  std::wstring m_version;
  std::wstring m_targetPath;
  int64_t m_minSpeed = 0;
  std::wstring m_cdnHost;
  std::wstring m_sslUrl;
  std::string m_reportTag;

 private:
  static platform::LRESULT HelperWindowProc(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                                            platform::LPARAM lParam);
  static CUpdater* FromWindow(platform::HWND hwnd);
  static void OnDescriptor(void* userData, const std::string& body, int type, int code);
  static void OnDownloadProgress(uint32_t id, int64_t total, int64_t completed, int32_t speed);
  static void OnDownloadDone(uint32_t id, int32_t type, int32_t code);
  static void PostToHelper(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                           platform::LPARAM lParam);

  void HandleInfoResult(int type, int code);
  // Writes m_body as the temporary INI and reads the keys; (type, code) of a write failure.
  void StoreAndReadDescriptor(int& type, int& code);
  void HandleProgress();
  void HandleDownloadResult(int type, int code);
};
