#include "platform/net_adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>

#include "platform/errors.h"

namespace platform {
namespace {

NetAdapter* FindOrAdd(std::vector<NetAdapter>& list, const ifaddrs* ifa) {
  for (NetAdapter& a : list)
    if (a.name == ifa->ifa_name) return &a;
  NetAdapter a;
  a.name = ifa->ifa_name;
  a.index = ::if_nametoindex(ifa->ifa_name);
  // IFF_RUNNING is the kernel's "operationally up" (or an unknown state from a driver that does
  // not report one, as the loopback adapter does).
  a.up = (ifa->ifa_flags & IFF_UP) && (ifa->ifa_flags & IFF_RUNNING);
  a.loopback = (ifa->ifa_flags & IFF_LOOPBACK) != 0;
  list.push_back(std::move(a));
  return &list.back();
}

void TakeLinkAddress(NetAdapter& a, const sockaddr_ll* ll) {
  if (ll->sll_hatype == ARPHRD_LOOPBACK || a.loopback) return;
  const size_t len = std::min<size_t>(ll->sll_halen, sizeof ll->sll_addr);
  a.hardwareAddress.assign(ll->sll_addr, ll->sll_addr + len);
}

}  // namespace

uint32_t ListNetAdapters(std::vector<NetAdapter>* adapters) {
  if (!adapters) return ERROR_INVALID_PARAMETER;
  adapters->clear();
  ifaddrs* head = nullptr;
  if (::getifaddrs(&head) != 0) return WinErrorFromErrno(errno);
  for (const ifaddrs* ifa = head; ifa; ifa = ifa->ifa_next) {
    NetAdapter* a = FindOrAdd(*adapters, ifa);
    if (!ifa->ifa_addr) continue;
    if (ifa->ifa_addr->sa_family == AF_PACKET) {
      TakeLinkAddress(*a, reinterpret_cast<const sockaddr_ll*>(ifa->ifa_addr));
    } else if (ifa->ifa_addr->sa_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
      a->ipv4Addresses.push_back(ntohl(in->sin_addr.s_addr));
    }
  }
  ::freeifaddrs(head);
  std::stable_sort(adapters->begin(), adapters->end(),
                   [](const NetAdapter& x, const NetAdapter& y) { return x.index < y.index; });
  return ERROR_SUCCESS;
}

}  // namespace platform
