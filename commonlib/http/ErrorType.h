// The outcome pair of every request: an error type and a code, (0, 0) meaning success. The type
// numbers and their names are part of the request's result map and of the reports built from it.
#pragma once

#include <utility>

enum ErrorType : int {
  ET_OK = 0,
  ET_SYS = 1,     // an operating-system error code
  ET_CRT = 2,     // a C runtime errno
  ET_USER = 3,    // the system's own codes (below, and the download engine's)
  ET_HTTP = 4,    // an HTTP status
  ET_CURL = 5,    // a CURLcode
  ET_WEBKIT = 6,  // a name only
  ET_DP = 7,      // a name only
};
inline constexpr int kErrorTypeCount = 8;

// The system's own codes of the HTTP layer (type ET_USER).
inline constexpr int kUserAlreadyStarted = -1;
inline constexpr int kUserNothingToTransfer = 2005;
inline constexpr int kUserAttemptTimeout = 3002;
// A command's response body went past the bound the command allows (CHttpCommand::maxBodyBytes).
inline constexpr int kUserBodyTooLarge = 3004;

// (type, code)
using HttpOutcome = std::pair<int, int>;

// The name of an error type ("ok", "sys", ..., "dp"); null for a number outside the table.
const wchar_t* ErrorTypeName(int type);
