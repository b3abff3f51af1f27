// Path and file functions of the installer workflow, the window and the download engine. Paths
// are wide drive paths with backslashes. Every function reports failure by its return value and
// never throws; none keeps state, so any thread may call them.
#pragma once

#include <cstdint>
#include <string>

// "/" becomes "\", runs of backslashes become one, one trailing backslash goes.
std::wstring NormalizePath(const std::wstring& path);
// The normalised path up to its last backslash; empty when it has none.
std::wstring GetParentDirectory(const std::wstring& path);
// The normalised path after its last backslash, or all of it.
std::wstring GetFileName(const std::wstring& path);
// The first two characters ("C:"); empty for a shorter path.
std::wstring GetDriveRoot(const std::wstring& path);

bool FileExists(const std::wstring& path);
bool DriveExists(const std::wstring& path);
// Bytes free for the caller on the path's drive (the current drive for a path shorter than two
// characters); 0 when unknown.
uint64_t GetDiskFreeSpace(const std::wstring& path);
// A drive ("X:") followed by names without \ / : * ? " < > |.
bool IsValidInstallPath(const std::wstring& path);
// Whether a probe file can be created and deleted in `dir` or, while it does not exist, in its
// nearest existing ancestor.
bool IsDirectoryWritable(const std::wstring& dir);
// The size in bytes, from the open file or else its directory entry; -1 when neither is there.
int64_t GetFileSize(const std::wstring& path);
// The last-write time in seconds since 1970-01-01 UTC. A path without a drive is taken in the
// program's own directory.
bool GetFileModifiedTime(const std::wstring& path, int64_t& seconds);

// The directory with all missing parents; true when it is there afterwards.
bool CreateDir(const std::wstring& dir);
// Creates or empties the file (creating its directory first).
bool MakeEmptyFile(const std::wstring& path);
bool DeleteFileIfExists(const std::wstring& path);
// Moves `from` onto `to`, replacing it, with up to `retries` further attempts after failures
// (waiting 100 x i + 1 ms after failed attempt i). False at once when `from` does not exist;
// the last error then tells why.
bool MoveFileWithRetry(const std::wstring& from, const std::wstring& to, int retries);
void ClearReadOnly(const std::wstring& path);
// Deletes `dir` (ending with a backslash) with everything in it; symbolic links inside are
// removed, never followed. "\" and "/" and missing directories are left alone (true).
bool DeleteDirectoryTree(const std::wstring& dir);

// The folder picker, owned by the window `owner`. Provided with the user interface.
std::wstring BrowseForFolder(void* owner, const std::wstring& initialPath);
