// What an install attempt reports to the main window. Every call comes on the main thread.
#pragma once

#include <cstdint>
#include <string>

class IGameEventListener {
 public:
  virtual ~IGameEventListener() = default;
  // Progress of the package download: bytes in total, bytes done, bytes per second.
  virtual void OnProgress(int64_t total, int64_t completed, int64_t speed) = 0;
  // The download's end: (0, 0, "") for success; (type, code, "安装失败") otherwise.
  virtual void OnDownloadFinish(int type, int code, const std::wstring& message) = 0;
  // The descriptor's outcome: after it was accepted (the download has started), after the
  // temporary file could not be written (type 1), or after the last URL failed.
  virtual void OnInfoResult(int type, int code, const std::wstring& version, const std::wstring& md5) = 0;
};
