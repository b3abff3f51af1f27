#include "tests/support/DnsmasqServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/FreePort.h"

namespace vkqx_test {

DnsmasqServer::DnsmasqServer(DnsmasqRecords records) : m_records(std::move(records)) {}

DnsmasqServer::~DnsmasqServer() { Stop(); }

std::vector<std::string> DnsmasqServer::Arguments() const {
  std::vector<std::string> a = {"--keep-in-foreground", "--no-resolv", "--no-hosts",
                                "--conf-file=/dev/null", "--no-poll", "--bind-interfaces",
                                "--listen-address=127.0.0.1", "--port=" + std::to_string(m_port),
                                "--pid-file=", "--log-facility=-", "--log-queries",
                                "--cache-size=0", "--local=/" + m_records.zone + "/"};
  // As root it would switch to an unprivileged user; there is nothing to protect here.
  if (::geteuid() == 0) a.push_back("--user=root");
  for (const auto& [name, ip] : m_records.addresses) a.push_back("--host-record=" + name + "," + ip);
  for (const auto& [alias, target] : m_records.aliases)
    a.push_back("--cname=" + alias + "," + target);
  for (const std::string& name : m_records.withoutAddresses)
    a.push_back("--host-record=" + name + ",fd00::1");
  return a;
}

bool DnsmasqServer::StartOnce() {
  m_port = FreePort(PortKind::kTcpAndUdp);
  if (m_port == 0) return false;
  m_process = std::make_unique<ServerProcess>("dnsmasq");
  if (!m_process->Start(FindProgram("dnsmasq"), Arguments())) return false;
  const std::string probe = "probe." + m_records.zone;
  return m_process->WaitFor([&] { return ProbeDns(m_port, probe, nullptr, 100) >= 0; });
}

bool DnsmasqServer::Start() {
  Stop();
  if (FindProgram("dnsmasq").empty()) {
    ADD_FAILURE() << "dnsmasq is not installed (scripts/install-deps.sh installs it)";
    return false;
  }
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (StartOnce()) return true;
    if (attempt < 2) m_process.reset();
  }
  ADD_FAILURE() << "dnsmasq did not start\n" << Logs();
  return false;
}

void DnsmasqServer::Stop() {
  if (m_process) m_process->Stop();
}

std::string DnsmasqServer::Logs() const { return m_process ? m_process->Logs() : std::string(); }

int ProbeDns(uint16_t port, const std::string& name, int* answerCount, int timeoutMs) {
  uint8_t q[300] = {0x12, 0x34, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
  size_t n = 12;
  size_t start = 0;
  while (start <= name.size() && n < 280) {
    const size_t dot = std::min(name.find('.', start), name.size());
    const size_t len = std::min<size_t>(dot - start, 63);
    q[n++] = static_cast<uint8_t>(len);
    for (size_t i = 0; i < len; ++i) q[n++] = static_cast<uint8_t>(name[start + i]);
    start = dot + 1;
  }
  q[n++] = 0;
  const uint8_t tail[] = {0, 1, 0, 1};
  for (uint8_t b : tail) q[n++] = b;

  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int rcode = -1;
  if (::sendto(fd, q, n, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == static_cast<ssize_t>(n)) {
    pollfd p{fd, POLLIN, 0};
    uint8_t a[1500];
    ssize_t got = 0;
    if (::poll(&p, 1, timeoutMs) == 1 && (got = ::recv(fd, a, sizeof a, 0)) >= 12 && a[0] == 0x12 &&
        a[1] == 0x34) {
      rcode = a[3] & 0x0F;
      if (answerCount) *answerCount = (a[6] << 8) | a[7];
    }
  }
  ::close(fd);
  return rcode;
}

}  // namespace vkqx_test
