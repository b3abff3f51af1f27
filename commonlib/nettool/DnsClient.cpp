#include "commonlib/nettool/DnsClient.h"

#include <charconv>

#include "commonlib/logger/Log.h"
#include "platform/clock.h"
#include "platform/loopback_only.h"
#include "platform/process_info.h"

namespace {

// Each wait for the socket is at most this long, so the budget is checked often.
constexpr uint32_t kWaitSliceMs = 100;

uint32_t ElapsedSince(uint32_t start) { return platform::GetTickCount() - start; }

}  // namespace

CDnsClient::CDnsClient() : m_id(static_cast<uint16_t>(platform::GetCurrentProcessId() & 0xFFFF)) {
  m_usable = m_socket.Open() == 0;
}

bool ParseDnsResolver(std::string_view text, platform::Ipv4Endpoint* endpoint) {
  platform::Ipv4Endpoint e{0, kDnsDefaultPort};
  const size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = text.substr(colon + 1);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535)
      return false;
    e.port = static_cast<uint16_t>(value);
    text = text.substr(0, colon);
  }
  if (!platform::ParseIpv4(text, &e.address)) return false;
  if (endpoint) *endpoint = e;
  return true;
}

const std::vector<std::string>& BuiltInDnsResolvers() {
  static const std::vector<std::string> resolvers = {"223.5.5.5", "119.29.29.29",
                                                     "114.114.114.114", "8.8.8.8"};
  return resolvers;
}

int QueryAddresses(const char* host, int& responseTimeMs, std::vector<std::string>& addresses,
                   CDnsClient* client, const char* resolverIp) {
  addresses.clear();
  responseTimeMs = kDnsNoAnswerMs;
  platform::Ipv4Endpoint resolver;
  if (!client || !client->m_usable || !host || !resolverIp) return 0;
  if (!ParseDnsResolver(resolverIp, &resolver)) return 0;
  if (platform::LoopbackOnly() && !platform::IsLoopbackIpv4(resolver.address)) {
    LOGW(L"QueryAddresses 仅限本机(VKQX_LOOPBACK_ONLY): 拒绝DNS服务器 %s 查询 %s", resolverIp, host);
    return 0;
  }
  const size_t length =
      BuildDnsQuery(host, client->m_id, client->m_packet.data(), client->m_packet.size());
  if (length == 0) return 0;
  if (client->m_socket.SendTo(client->m_packet.data(), length, resolver) != 0) return 0;

  const uint32_t start = platform::GetTickCount();
  for (uint32_t elapsed = 0; (elapsed = ElapsedSince(start)) <= kDnsAnswerBudgetMs;) {
    // Never wait past the budget: an answer after it would not count.
    const uint32_t wait = std::min(kWaitSliceMs, kDnsAnswerBudgetMs - elapsed);
    size_t received = 0;
    platform::Ipv4Endpoint from;
    if (client->m_socket.ReceiveFrom(client->m_answer.data(), client->m_answer.size(), &received,
                                     &from, wait) != 0)
      continue;
    // A late answer of an earlier resolver, or anyone else's datagram, is not this answer.
    if (from != resolver) continue;
    const uint32_t responseTime = ElapsedSince(start);
    if (responseTime > kDnsAnswerBudgetMs) break;
    if (ParseDnsAnswer(client->m_answer.data(), received, client->m_id, &addresses) !=
        DnsAnswerStatus::kAccepted)
      continue;
    responseTimeMs = static_cast<int>(responseTime);
    return 1;
  }
  addresses.clear();
  return 0;
}

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string joined;
  for (const std::string& address : addresses) {
    if (!joined.empty()) joined += ';';
    joined += address;
  }
  return joined;
}
