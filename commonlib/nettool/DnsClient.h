// The system's own DNS client: one address query over UDP to a chosen resolver, answered within a
// bounded wait. A client belongs to one thread for its whole life; each user creates its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "commonlib/nettool/DnsPacket.h"
#include "platform/udp_socket.h"

// How long a query waits for its answer, and the response time reported when none came.
inline constexpr uint32_t kDnsAnswerBudgetMs = 1500;
inline constexpr int kDnsNoAnswerMs = 1501;
inline constexpr uint16_t kDnsDefaultPort = 53;

class CDnsClient {
 public:
  // Opens the socket and takes the low 16 bits of the process id as the query identifier.
  CDnsClient();
  ~CDnsClient() = default;
  CDnsClient(const CDnsClient&) = delete;
  CDnsClient& operator=(const CDnsClient&) = delete;

  bool IsUsable() const { return m_usable; }
  uint16_t Id() const { return m_id; }

 private:
  friend int QueryAddresses(const char* host, int& responseTimeMs,
                            std::vector<std::string>& addresses, CDnsClient* client,
                            const char* resolverIp);

  bool m_usable = false;
  platform::UdpSocket m_socket;
  uint16_t m_id = 0;
  std::array<uint8_t, kDnsQueryPacketSize> m_packet{};
  std::array<uint8_t, kDnsMaxDatagramSize> m_answer{};
};

// Asks resolverIp ("a.b.c.d", or "a.b.c.d:port" with 53 by default) for the address records of
// host. Returns 1 with addresses holding them ("%d.%d.%d.%d", answer order; none for an answer of
// aliases only) and responseTimeMs the milliseconds from sending to the accepted answer; 0 with
// addresses empty and responseTimeMs kDnsNoAnswerMs when no answer was accepted in
// kDnsAnswerBudgetMs, or at once for an unusable client, a missing host or resolver, a host that
// cannot be encoded or a failed send. Only datagrams from the resolver's address and port count.
int QueryAddresses(const char* host, int& responseTimeMs, std::vector<std::string>& addresses,
                   CDnsClient* client, const char* resolverIp);

// "a.b.c.d" or "a.b.c.d:port" (1..65535).
bool ParseDnsResolver(std::string_view text, platform::Ipv4Endpoint* endpoint);

// The four public recursive resolvers used when a caller has none of its own, in the order they
// are always tried.
const std::vector<std::string>& BuiltInDnsResolvers();

// Addresses as the lookup results carry them: "a;b;c".
std::string JoinAddresses(const std::vector<std::string>& addresses);
