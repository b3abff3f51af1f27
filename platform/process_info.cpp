#include "platform/process_info.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

uint32_t GetCurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

uint32_t GetCurrentThreadId() {
  thread_local const uint32_t id = static_cast<uint32_t>(::syscall(SYS_gettid));
  return id;
}

}  // namespace platform
