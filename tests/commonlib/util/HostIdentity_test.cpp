#include "commonlib/util/HostIdentity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/text.h"
#include "platform/udp_socket.h"

namespace {

platform::NetAdapter Adapter(const char* name, bool up, std::vector<uint8_t> hw, bool loopback = false) {
  platform::NetAdapter a;
  a.name = name;
  a.up = up;
  a.loopback = loopback;
  a.hardwareAddress = std::move(hw);
  return a;
}

TEST(HostIdentity, FirstAdapterThatIsUpWithASixByteAddressGivesTheText) {
  const std::vector<uint8_t> mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const std::vector<uint8_t> other = {0x02, 0xFC, 0x00, 0x00, 0x00, 0x01};
  struct Case {
    const char* what;
    std::vector<platform::NetAdapter> adapters;
    std::wstring text;
  } cases[] = {
      {"none", {}, L""},
      // Where only loopback is up there is no address: the loopback adapter has none.
      {"only loopback", {Adapter("lo", true, {}, true)}, L""},
      {"loopback with a zero address", {Adapter("lo", true, std::vector<uint8_t>(6, 0), true)}, L""},
      {"one adapter", {Adapter("lo", true, {}, true), Adapter("eth0", true, mac)}, L"001a2b3c4d5e"},
      {"a down adapter is passed over",
       {Adapter("eth0", false, other), Adapter("eth1", true, mac)}, L"001a2b3c4d5e"},
      {"the first of two wins", {Adapter("eth0", true, mac), Adapter("eth1", true, other)},
       L"001a2b3c4d5e"},
      {"no hardware address (a tunnel)", {Adapter("tun0", true, {}), Adapter("eth0", true, mac)},
       L"001a2b3c4d5e"},
      {"a 20-byte address is not a MAC",
       {Adapter("ib0", true, std::vector<uint8_t>(20, 0x11)), Adapter("eth0", true, other)},
       L"02fc00000001"},
      {"only down adapters", {Adapter("eth0", false, mac)}, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(MacTextFromAdapters(c.adapters), c.text) << c.what;
}

// The MAC texts of this machine's adapters as /sys shows them, of those whose operational state is
// one of states (loopback excluded).
std::set<std::wstring> AdapterMacsFromSys(const std::set<std::string>& states) {
  std::set<std::wstring> macs;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", ec)) {
    auto read = [&](const char* file) {
      std::ifstream in(entry.path() / file);
      std::string v;
      std::getline(in, v);
      return v;
    };
    if (!states.count(read("operstate")) || read("type") == "772") continue;
    std::string mac = read("address");
    std::erase(mac, ':');
    if (mac.size() == 12 && mac != "000000000000") macs.insert(platform::Utf8ToWide(mac));
  }
  return macs;
}

TEST(HostIdentity, MacOfThisMachineComesFromAnAdapterThatIsUp) {
  const std::wstring mac = GetMacAddress();
  if (mac.empty()) {
    // Only loopback (or nothing) is up here.
    EXPECT_TRUE(AdapterMacsFromSys({"up"}).empty());
  } else {
    // A driver that reports no state ("unknown") but has its link counts as up too.
    EXPECT_TRUE(AdapterMacsFromSys({"up", "unknown"}).count(mac)) << platform::WideToUtf8(mac);
  }
  EXPECT_EQ(GetMacAddress(), mac);  // kept for the life of the process
}

TEST(HostIdentity, LocalIpIsEmptyOrDottedIpv4) {
  const std::string ip = GetLocalIp();
  if (!ip.empty()) {
    EXPECT_TRUE(platform::ParseIpv4(ip, nullptr)) << ip;
  }
}

}  // namespace
