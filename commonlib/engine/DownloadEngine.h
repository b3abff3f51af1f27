// The download engine's four entry points and its own HTTP stack (a workshop thread and a
// manager running at most 10 requests), separate from the application's command stack. Main
// thread only.
#pragma once

#include <cstdint>

class CCurlWorkshop;
class CHttpMgr;

// Progress of a task, once a second: (id, file size, bytes on disk, bytes per second).
using DownloadProgressCallback = void (*)(uint32_t id, int64_t fileSize, int64_t completed, int32_t speed);
// The end of a task: (id, et, ec), (0, 0) for a complete target file.
using DownloadDoneCallback = void (*)(uint32_t id, int32_t et, int32_t ec);

// Creates the download stack, starts the one-second tick and registers the task queue for the
// sources' events. Always true.
bool DownloadEngineInit();
// Stops the tick, unregisters the queue and destroys the download stack. Always true. Queued tasks
// are not stopped: the application cancels its downloads first.
bool DownloadEngineUninit();
// Creates, queues and starts a task. False, with the task deleted unstarted, when a task for the
// same target path or with the same hash is already queued. Null strings count as empty.
bool DownloadFile(const wchar_t* fileHash, const wchar_t* cdnHost, const wchar_t* url, const wchar_t* ipList,
                  const wchar_t* targetPath, int64_t fileSize, int32_t id, int64_t cdnMinSpeed,
                  const char* statsJson);
// Cancels the task of that target path (its meta file is saved; no callback runs). The URL is not
// used. Always true.
bool CancelDownload(const wchar_t* url, const wchar_t* targetPath);

// Why a task ended, in more detail than its outcome pair, for a front end that says why in words.
struct DownloadEndDetail {
  uint32_t systemError = 0;  // the data file or the final move failed with this system error
  int32_t lastSourceEt = 0;  // the last failure of a source that was dropped, (0, 0) when none
  int32_t lastSourceEc = 0;
};
// The detail of the last task with `id` that ended (through its completion callback); false when
// none has.
bool GetDownloadEndDetail(uint32_t id, DownloadEndDetail* out);
void SetDownloadEndDetail(uint32_t id, const DownloadEndDetail& detail);

// The application's functions that every task reports to (set before the first DownloadFile).
void SetDownloadCallbacks(DownloadProgressCallback progress, DownloadDoneCallback done);

// The download stack; null while the engine is stopped.
CCurlWorkshop* GetDownloadWorkshop();
CHttpMgr* GetDownloadHttpMgr();

// Tests: sources made from now on use this manager and workshop (either may be null) instead of
// the engine's own stack; null for both returns to the engine's stack.
void SetDownloadStackForTesting(CCurlWorkshop* workshop, CHttpMgr* manager);
