#include "tests/support/FixtureProgram.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/support/ServerProcess.h"

namespace vkqx_test {
namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

void AnnouncePort(uint16_t port, const std::string& portFile) {
  if (!portFile.empty()) {
    const std::string tmp = portFile + ".tmp";
    WriteFileText(tmp, std::to_string(port) + "\n");
    std::rename(tmp.c_str(), portFile.c_str());
  }
  std::printf("%u\n", static_cast<unsigned>(port));
  std::fflush(stdout);
}

void WaitForStop(long maxSeconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
  while (!g_stop && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

int FixtureUsage(const char* program, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", program, why.c_str());
  return 2;
}

}  // namespace vkqx_test
