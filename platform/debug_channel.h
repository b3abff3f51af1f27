// The debugger output channel, where the trace logger's lines go. Here it is the system log; with
// VKQX_TRACE_STDERR=1 in the environment every line is mirrored to standard error as UTF-8, and a
// test may capture the lines with SetDebugCaptureForTesting.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

void OutputDebugString(std::wstring_view text);

// Receives every text written to the channel, on the writing thread, while set; pass an empty
// function to stop. Capture replaces nothing: the system log and the mirror still get the text.
void SetDebugCaptureForTesting(std::function<void(std::wstring_view)> capture);

}  // namespace platform
