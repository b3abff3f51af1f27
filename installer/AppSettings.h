// The installer's settings: the string table of the program, the deployment values (update
// servers, statistics server, licence page) and the network-test record that picks the spare
// addresses of the package download from the start-up lookup of the test host.
//
// Deployment values come from the build (CMake cache options, see DeploymentDefaults.h.in); these
// environment variables override them for tests, staging and the demo (a malformed value is
// ignored with a log line and the build's value stays):
//   VKQX_UPDATE_URLS   descriptor URLs, ";"-separated, in the order tried (replaces all three)
//   VKQX_STAT_URL      the statistics upload URL
//   VKQX_RESOLVERS     resolvers, ";"-separated, "a.b.c.d" or "a.b.c.d:port"; they also replace the
//                      resolvers of the commands' retry ladder
//   VKQX_TEST_HOST     the network-test host
//   VKQX_SPARE_IPS     the default spare list, ";"-separated (empty: no spare addresses)
//   VKQX_MARKER_LISTS  the marker map, "MARKER=a;b|MARKER=c" (replaces the whole map)
//   VKQX_LICENSE_URL   the licence page
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// String table entries of the program (empty when missing).
inline constexpr uint32_t IDS_PACKAGE_ID = 1;
inline constexpr uint32_t IDS_PRODUCT_ID = 2;
inline constexpr uint32_t IDS_WINDOW_TITLE = 3;
std::wstring LoadResString(uint32_t id);

struct DeploymentSettings {
  std::vector<std::wstring> updateUrls;  // in the order tried
  std::wstring statUrl;
  std::wstring licenseUrl;
  std::vector<std::string> resolvers;  // the test host's resolvers, in the order asked
  bool resolversOverridden = false;    // VKQX_RESOLVERS was given (and valid)
};

// Read once, on first use: the build's values with the environment's overrides applied.
const DeploymentSettings& GetDeploymentSettings();

// The network-test record (created on first use, main thread only).
struct CNetTestSettings {
  std::wstring m_dnsServerList;                       // resolvers asked for the test host, ";"-separated
  std::wstring m_testHost;                            // the test host
  std::wstring m_spareIpList;                         // spare addresses for the package download
  std::map<std::wstring, std::wstring> m_lineIpMap;  // marker address -> spare list
};
CNetTestSettings* GetNetTestSettings();

// The start-up lookup's result handler (runs on the main thread): a single marker address
// selects its spare list; anything else keeps the current one.
void dns_result_callback(int code, void* context, const std::string& domain, const std::string& ipList);

// Builds both from the environment again (tests).
void ReloadSettingsForTesting();
