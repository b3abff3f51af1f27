#include "installer/AppSettings.h"

#include <cstdlib>
#include <cwctype>
#include <memory>
#include <optional>

#include "commonlib/logger/Log.h"
#include "commonlib/nettool/DnsClient.h"
#include "installer/DeploymentDefaults.h"
#include "platform/format.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "platform/udp_socket.h"

namespace {

constexpr wchar_t kStatPath[] = L"/api/qx/data/rece_download_data";
constexpr wchar_t kDescriptorPath[] = L"/vkinstall.txt";

// Pieces between ";" (an empty text has none).
std::vector<std::wstring> SplitList(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return pieces;
}

bool IsIpv4(const std::wstring& text) {
  uint32_t address = 0;
  return platform::ParseIpv4(platform::WideToAnsi(text), &address);
}

// "http://host..." or "https://host..." with a host; no white space or control characters.
bool IsHttpUrl(const std::wstring& url) {
  size_t hostStart = 0;
  if (url.rfind(L"http://", 0) == 0) {
    hostStart = 7;
  } else if (url.rfind(L"https://", 0) == 0) {
    hostStart = 8;
  } else {
    return false;
  }
  if (url.size() <= hostStart || url[hostStart] == L'/' || url[hostStart] == L':') return false;
  for (wchar_t c : url)
    if (c <= L' ' || c == 0x7F) return false;
  return true;
}

bool IsHostName(const std::wstring& host) {
  if (host.size() < 1 || host.size() > 253) return false;
  for (wchar_t c : host)
    if (c > 0x7F || !(std::iswalnum(static_cast<wint_t>(c)) || c == L'-' || c == L'.' || c == L'_')) return false;
  return true;
}

std::optional<std::vector<std::wstring>> ParseAddressList(const std::wstring& text, bool allowEmpty) {
  std::vector<std::wstring> addresses = SplitList(text, L';');
  if (addresses.empty() && !allowEmpty) return std::nullopt;
  for (const std::wstring& a : addresses)
    if (!IsIpv4(a)) return std::nullopt;
  return addresses;
}

std::wstring JoinList(const std::vector<std::wstring>& pieces) {
  std::wstring joined;
  for (const std::wstring& p : pieces) {
    if (!joined.empty()) joined += L';';
    joined += p;
  }
  return joined;
}

std::optional<std::map<std::wstring, std::wstring>> ParseMarkerLists(const std::wstring& text) {
  std::map<std::wstring, std::wstring> map;
  for (const std::wstring& entry : SplitList(text, L'|')) {
    const size_t eq = entry.find(L'=');
    if (eq == std::wstring::npos) return std::nullopt;
    const std::wstring marker = entry.substr(0, eq);
    const std::optional<std::vector<std::wstring>> list = ParseAddressList(entry.substr(eq + 1), false);
    if (!IsIpv4(marker) || !list || map.count(marker) != 0) return std::nullopt;
    map[marker] = JoinList(*list);
  }
  if (map.empty()) return std::nullopt;
  return map;
}

std::optional<std::vector<std::string>> ParseResolvers(const std::wstring& text) {
  std::vector<std::string> resolvers;
  for (const std::wstring& piece : SplitList(text, L';')) {
    const std::string ansi = platform::WideToAnsi(piece);
    if (!ParseDnsResolver(ansi, nullptr)) return std::nullopt;
    resolvers.push_back(ansi);
  }
  if (resolvers.empty()) return std::nullopt;
  return resolvers;
}

// The override's text when the variable is set.
std::optional<std::wstring> Override(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return platform::AnsiToWide(value);
}

void LogMalformed(const char* name, const std::wstring& value) {
  LOGW(L"AppSettings 环境变量 %s 的值无效，已忽略，沿用默认值: %s", name, value);
}

// True when the variable was set and valid, and so replaced the target.
template <typename T, typename Parse>
bool ApplyOverride(const char* name, Parse parse, T& target) {
  const std::optional<std::wstring> text = Override(name);
  if (!text) return false;
  auto parsed = parse(*text);
  if (!parsed) {
    LogMalformed(name, *text);
    return false;
  }
  target = std::move(*parsed);
  LOGI(L"AppSettings 使用环境变量 %s: %s", name, *text);
  return true;
}

std::optional<std::wstring> ParseUrl(const std::wstring& text) {
  return IsHttpUrl(text) ? std::optional<std::wstring>(text) : std::nullopt;
}

struct Settings {
  DeploymentSettings deployment;
  CNetTestSettings netTest;
};

std::unique_ptr<Settings> BuildSettings() {
  namespace d = deployment_defaults;
  auto s = std::make_unique<Settings>();
  const std::wstring updateHost = platform::AnsiToWide(d::kUpdateHost);
  const std::wstring updateHost2 = platform::AnsiToWide(d::kUpdateHost2);
  s->deployment.updateUrls = {L"https://" + updateHost + kDescriptorPath, L"http://" + updateHost + kDescriptorPath,
                              L"http://" + updateHost2 + kDescriptorPath};
  s->deployment.statUrl = L"http://" + platform::AnsiToWide(d::kStatHost) + L":8080" + kStatPath;
  s->deployment.licenseUrl = platform::AnsiToWide(d::kLicenseUrl);
  // The build's own values are checked by the same rules; a bad one is a build mistake, logged.
  if (auto r = ParseResolvers(platform::AnsiToWide(d::kResolvers))) {
    s->deployment.resolvers = *r;
  } else {
    LOGE(L"AppSettings 内置DNS服务器列表无效: %s", d::kResolvers);
  }
  s->netTest.m_testHost = platform::AnsiToWide(d::kTestHost);
  s->netTest.m_spareIpList = platform::AnsiToWide(d::kSpareIps);
  if (auto m = ParseMarkerLists(platform::AnsiToWide(d::kMarkerLists))) {
    s->netTest.m_lineIpMap = *m;
  } else {
    LOGE(L"AppSettings 内置标记列表无效: %s", d::kMarkerLists);
  }

  ApplyOverride("VKQX_UPDATE_URLS",
                [](const std::wstring& text) -> std::optional<std::vector<std::wstring>> {
                  std::vector<std::wstring> urls = SplitList(text, L';');
                  if (urls.empty()) return std::nullopt;
                  for (const std::wstring& u : urls)
                    if (!IsHttpUrl(u)) return std::nullopt;
                  return urls;
                },
                s->deployment.updateUrls);
  ApplyOverride("VKQX_STAT_URL", ParseUrl, s->deployment.statUrl);
  ApplyOverride("VKQX_LICENSE_URL", ParseUrl, s->deployment.licenseUrl);
  s->deployment.resolversOverridden = ApplyOverride("VKQX_RESOLVERS", ParseResolvers, s->deployment.resolvers);
  ApplyOverride("VKQX_TEST_HOST",
                [](const std::wstring& text) {
                  return IsHostName(text) ? std::optional<std::wstring>(text) : std::nullopt;
                },
                s->netTest.m_testHost);
  ApplyOverride("VKQX_SPARE_IPS",
                [](const std::wstring& text) -> std::optional<std::wstring> {
                  auto list = ParseAddressList(text, true);
                  return list ? std::optional<std::wstring>(JoinList(*list)) : std::nullopt;
                },
                s->netTest.m_spareIpList);
  ApplyOverride("VKQX_MARKER_LISTS", ParseMarkerLists, s->netTest.m_lineIpMap);

  std::wstring servers;
  for (const std::string& r : s->deployment.resolvers) {
    if (!servers.empty()) servers += L';';
    servers += platform::AnsiToWide(r);
  }
  s->netTest.m_dnsServerList = servers;
  return s;
}

std::unique_ptr<Settings>& TheSettings() {
  static std::unique_ptr<Settings> settings;
  if (!settings) settings = BuildSettings();
  return settings;
}

}  // namespace

std::wstring LoadResString(uint32_t id) { return platform::LoadStringResource(id); }

const DeploymentSettings& GetDeploymentSettings() { return TheSettings()->deployment; }

CNetTestSettings* GetNetTestSettings() { return &TheSettings()->netTest; }

void ReloadSettingsForTesting() { TheSettings() = BuildSettings(); }

void dns_result_callback(int code, void* context, const std::string& domain, const std::string& ipList) {
  const auto id = reinterpret_cast<uintptr_t>(context);
  if (code != 0 || ipList.empty()) {
    LOGI(L"dns_result_callback OnSpareDNSResult 失败 code:%d, domain:%s ,id:0x%x", code, domain, id);
    return;
  }
  LOGI(L"dns_result_callback OnSpareDNSResult 解析成功 code:%d, domain:%s, ip_list:%s, id:0x%x", code, domain, ipList,
       id);
  const std::wstring wide = platform::Utf8ToWide(ipList);
  std::vector<std::wstring> entries;
  size_t start = 0;
  for (size_t end; (end = wide.find(L';', start)) != std::wstring::npos; start = end + 1)
    entries.push_back(wide.substr(start, end - start));
  if (start < wide.size()) entries.push_back(wide.substr(start));  // nothing after a final separator
  CNetTestSettings* settings = GetNetTestSettings();
  if (entries.size() != 1) return;
  auto it = settings->m_lineIpMap.find(entries.front());
  if (it == settings->m_lineIpMap.end()) return;
  settings->m_spareIpList = it->second;
  LOGI(L"解析ip列表为:%s", settings->m_spareIpList);
}
