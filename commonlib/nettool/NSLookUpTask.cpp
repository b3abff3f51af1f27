#include "commonlib/nettool/NSLookUpTask.h"

#include <utility>
#include <vector>

#include "commonlib/nettool/DnsClient.h"

namespace {

std::vector<std::string> SplitServers(const std::string& servers) {
  std::vector<std::string> parts;
  size_t begin = 0;
  while (begin < servers.size()) {
    size_t end = servers.find(';', begin);
    if (end == std::string::npos) end = servers.size();
    if (end > begin) parts.push_back(servers.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

std::string JoinAddresses(const std::vector<std::string>& addresses) {
  std::string joined;
  for (const std::string& address : addresses) {
    if (!joined.empty()) joined += ';';
    joined += address;
  }
  return joined;
}

}  // namespace

CNSLookUpTask::CNSLookUpTask(std::string host, std::string servers, NetToolCallback callback, void* user)
    : CNetToolTask(std::move(host), callback, user), m_servers(std::move(servers)) {}

void CNSLookUpTask::Run() {
  CDnsClient client;
  std::vector<std::string> resolvers = m_servers.empty() ? BuiltInDnsResolvers() : SplitServers(m_servers);
  std::vector<std::string> addresses;
  bool answered = false;
  for (const std::string& resolver : resolvers) {
    int responseTimeMs = 0;
    if (QueryAddresses(m_host.c_str(), responseTimeMs, addresses, &client, resolver.c_str()) == 1) {
      answered = true;
      break;
    }
  }
  if (answered) {
    PostResult(0, JoinAddresses(addresses));
  } else {
    PostResult(-1, std::string());
  }
}
