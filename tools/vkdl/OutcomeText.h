// What vkdl says about the end of a download: the cause in words, with the numbers behind it, so
// that a person need not read the trace to know why a download failed.
#pragma once

#include <cstdint>
#include <string>

#include "commonlib/engine/DownloadEngine.h"

// A system error in words and its number: "disk full (system error 112)".
std::string SystemErrorText(uint32_t error);
// Why a source was dropped: "HTTP status 404", "transport error 7 (Couldn't connect to server)".
std::string SourceFailureText(int et, int ec);
// The cause of a task's outcome (et, ec) other than (0, 0), one line without the "vkdl: " prefix.
// `target` is the path the file was to be saved as.
std::string OutcomeText(int et, int ec, const DownloadEndDetail& detail, const std::string& target);
