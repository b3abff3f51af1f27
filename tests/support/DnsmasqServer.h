// dnsmasq started by a test on a free loopback port (UDP and TCP), answering only from the test's
// records: no upstream servers, no system files. Every name under the zone that has no record is
// NXDOMAIN; a name given as "no records" exists but has no address record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ServerProcess.h"

namespace vkqx_test {

struct DnsmasqRecords {
  std::string zone = "test";  // names outside it are refused, inside it unknown ones NXDOMAIN
  // name, IPv4 address; several entries for one name give several address records.
  std::vector<std::pair<std::string, std::string>> addresses;
  // alias, target: chains are written link by link; the last target needs an address.
  std::vector<std::pair<std::string, std::string>> aliases;
  // Names that exist with no address record (an IPv6 record only).
  std::vector<std::string> withoutAddresses;
};

class DnsmasqServer {
 public:
  explicit DnsmasqServer(DnsmasqRecords records);
  ~DnsmasqServer();
  DnsmasqServer(const DnsmasqServer&) = delete;
  DnsmasqServer& operator=(const DnsmasqServer&) = delete;

  // Starts dnsmasq and waits until it answers; false, with a test failure, when it does not.
  bool Start();
  void Stop();

  uint16_t port() const { return m_port; }
  // "127.0.0.1:<port>", the resolver entry for this server.
  std::string Resolver() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::string Logs() const;

 private:
  std::vector<std::string> Arguments() const;
  bool StartOnce();

  DnsmasqRecords m_records;
  uint16_t m_port = 0;
  std::unique_ptr<ServerProcess> m_process;
};

// Sends one address query for name to 127.0.0.1:port and waits timeoutMs for the answer. Returns
// the answer's response code (0 no error, 3 NXDOMAIN, ...) and sets *answerCount, or -1 when no
// answer came. A check of the server that does not use the system's own DNS client.
int ProbeDns(uint16_t port, const std::string& name, int* answerCount = nullptr,
             int timeoutMs = 300);

}  // namespace vkqx_test
