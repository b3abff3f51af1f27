#include "tools/vkdl/OutcomeText.h"

#include <curl/curl.h>

#include "commonlib/engine/DownloadTask.h"
#include "commonlib/http/ErrorType.h"
#include "commonlib/peer/HttpDownloadPeer.h"
#include "commonlib/peer/VKFileIO.h"
#include "platform/errors.h"
#include "platform/format.h"

std::string SystemErrorText(uint32_t error) {
  const char* words = "system error";
  switch (error) {
    case platform::ERROR_DISK_FULL:
    case platform::ERROR_HANDLE_DISK_FULL:
      words = "disk full";
      break;
    case platform::ERROR_ACCESS_DENIED:
      words = "access denied";
      break;
    case platform::ERROR_PATH_NOT_FOUND:
      words = "path not found";
      break;
    case platform::ERROR_FILE_NOT_FOUND:
      words = "file not found";
      break;
    case platform::ERROR_SHARING_VIOLATION:
    case platform::ERROR_LOCK_VIOLATION:
      words = "the file is in use";
      break;
    default:
      return platform::StrFormat("system error %u", error);
  }
  return platform::StrFormat("%s (system error %u)", words, error);
}

std::string SourceFailureText(int et, int ec) {
  switch (et) {
    case ET_SYS:
      return "the data file could not be opened: " + SystemErrorText(static_cast<uint32_t>(ec));
    case ET_HTTP:
      if (ec == DL_ERROR_NO_RANGE) return "the server ignores ranges (HTTP status 200 to a range request)";
      return platform::StrFormat("HTTP status %d", ec);
    case ET_CURL:
      return platform::StrFormat("transport error %d (%s)", ec, curl_easy_strerror(static_cast<CURLcode>(ec)));
    case ET_USER:
      switch (ec) {
        case kUserAttemptTimeout:
          return platform::StrFormat("no data, or far too little, for %u s (engine code %d)",
                                     CHttpDownloadPeer::kTimeoutMs / 1000, ec);
        case DL_ERROR_LENGTH:
          return platform::StrFormat("an answer that does not fit the block (engine code %d)", ec);
        case DL_ERROR_OTHER_FILE:
          return platform::StrFormat("the server's file has another size: it changed (engine code %d)", ec);
        default:
          return platform::StrFormat("engine code %d", ec);
      }
    default:
      return platform::StrFormat("outcome (%d, %d)", et, ec);
  }
}

std::string OutcomeText(int et, int ec, const DownloadEndDetail& detail, const std::string& target) {
  if (et == ET_USER && ec == DL_TASK_FILE_ERROR) {
    return "the data file " + target + ".vkdt could not be made at its full size: " +
           SystemErrorText(detail.systemError);
  }
  if (et == ET_USER && ec == DL_TASK_NO_SOURCE) {
    std::string text = "no source for more than 10 s: every source failed";
    if (detail.lastSourceEt != 0)
      text += ", the last with " + SourceFailureText(detail.lastSourceEt, detail.lastSourceEc);
    return text;
  }
  if (ec == 0 && et == static_cast<int>(platform::ERROR_FILE_NOT_FOUND)) {
    return "the data file " + target + ".vkdt vanished or changed size during the download (system error 2); "
           "the next run downloads the file afresh";
  }
  if (ec == 0 && et > 0) {
    return "the finished download could not be moved onto " + target + ": " +
           SystemErrorText(static_cast<uint32_t>(et)) + "; it stays in " + target + ".vkdt for the next run";
  }
  return platform::StrFormat("outcome (%d, %d)", et, ec);
}
