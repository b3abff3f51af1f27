// What the server fixture programs share: ending on SIGTERM or SIGINT, announcing the chosen port
// (standard output and, atomically, a port file), waiting, and the usage error.
#pragma once

#include <cstdint>
#include <string>

namespace vkqx_test {

// SIGTERM and SIGINT end WaitForStop.
void InstallStopSignals();
// Prints the port on the first line of standard output and, when `portFile` is not empty, writes
// it there through a temporary file and a rename, so a reader never sees half a number.
void AnnouncePort(uint16_t port, const std::string& portFile);
// Returns on a stop signal or after `maxSeconds`.
void WaitForStop(long maxSeconds);
// "<program>: <why>" on standard error; returns the usage exit code 2.
int FixtureUsage(const char* program, const std::string& why);

}  // namespace vkqx_test
