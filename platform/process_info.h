// Identity of the calling process and thread, as 32-bit ids like Windows gives them.
#pragma once

#include <cstdint>

namespace platform {

uint32_t GetCurrentProcessId();
uint32_t GetCurrentThreadId();

}  // namespace platform
