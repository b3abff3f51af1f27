#include "installer/AppSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/text.h"
#include "tests/support/TraceCapture.h"

namespace {

const char* const kVariables[] = {"VKQX_UPDATE_URLS", "VKQX_STAT_URL",     "VKQX_RESOLVERS",  "VKQX_TEST_HOST",
                                  "VKQX_SPARE_IPS",   "VKQX_MARKER_LISTS", "VKQX_LICENSE_URL"};

class AppSettingsTest : public ::testing::Test {
 protected:
  AppSettingsTest() { ClearAndReload(); }
  ~AppSettingsTest() override { ClearAndReload(); }
  static void ClearAndReload() {
    for (const char* name : kVariables) ::unsetenv(name);
    ReloadSettingsForTesting();
  }
  vkqx_test::TraceCapture trace;
};

size_t CountOf(const std::wstring& list) {
  return list.empty() ? 0 : 1 + std::count(list.begin(), list.end(), L';');
}

TEST_F(AppSettingsTest, BuildDefaultsHaveTheRolesTheSystemReliesOn) {
  const DeploymentSettings& d = GetDeploymentSettings();
  ASSERT_EQ(d.updateUrls.size(), 3u);
  EXPECT_EQ(d.updateUrls[0].rfind(L"https://", 0), 0u);
  EXPECT_EQ(d.updateUrls[1].rfind(L"http://", 0), 0u);
  EXPECT_EQ(platform::WideToUtf8(d.updateUrls[0]).substr(8), platform::WideToUtf8(d.updateUrls[1]).substr(7));
  for (const std::wstring& url : d.updateUrls) EXPECT_TRUE(url.ends_with(L"/vkinstall.txt"));
  EXPECT_TRUE(d.statUrl.rfind(L"http://", 0) == 0 && d.statUrl.ends_with(L":8080/api/qx/data/rece_download_data"))
      << platform::WideToUtf8(d.statUrl);
  EXPECT_FALSE(d.resolversOverridden);

  const CNetTestSettings* n = GetNetTestSettings();
  EXPECT_EQ(CountOf(n->m_dnsServerList), 4u);
  EXPECT_EQ(CountOf(n->m_spareIpList), 10u);
  ASSERT_EQ(n->m_lineIpMap.size(), 5u);
  EXPECT_EQ(CountOf(n->m_lineIpMap.at(L"3.3.3.3")), 2u);
  EXPECT_NE(n->m_spareIpList.find(n->m_lineIpMap.at(L"3.3.3.3").substr(0, n->m_lineIpMap.at(L"3.3.3.3").find(L';'))),
            std::wstring::npos);
  EXPECT_EQ(CountOf(n->m_lineIpMap.at(L"2.2.2.2")), 8u);
  for (const wchar_t* marker : {L"1.1.1.1", L"9.9.9.9", L"4.4.4.4"}) EXPECT_EQ(n->m_lineIpMap.at(marker), n->m_spareIpList);
  EXPECT_FALSE(trace.Has(L"AppSettings")) << trace.Dump();
}

TEST_F(AppSettingsTest, OverridesReplaceTheBuildValues) {
  ::setenv("VKQX_UPDATE_URLS", "https://127.0.0.1:4443/vkinstall.txt;http://127.0.0.2:8080/vkinstall.txt", 1);
  ::setenv("VKQX_STAT_URL", "http://127.0.0.1:9000/api/qx/data/rece_download_data", 1);
  ::setenv("VKQX_RESOLVERS", "127.0.0.1:5353;127.0.0.2", 1);
  ::setenv("VKQX_TEST_HOST", "nettest.test", 1);
  ::setenv("VKQX_SPARE_IPS", "127.0.0.2;127.0.0.3", 1);
  ::setenv("VKQX_MARKER_LISTS", "3.3.3.3=127.0.0.2;127.0.0.3|2.2.2.2=127.0.0.4", 1);
  ::setenv("VKQX_LICENSE_URL", "http://127.0.0.1:1/licence.html", 1);
  ReloadSettingsForTesting();
  const DeploymentSettings& d = GetDeploymentSettings();
  EXPECT_EQ(d.updateUrls,
            (std::vector<std::wstring>{L"https://127.0.0.1:4443/vkinstall.txt", L"http://127.0.0.2:8080/vkinstall.txt"}));
  EXPECT_EQ(d.statUrl, L"http://127.0.0.1:9000/api/qx/data/rece_download_data");
  EXPECT_EQ(d.licenseUrl, L"http://127.0.0.1:1/licence.html");
  EXPECT_EQ(d.resolvers, (std::vector<std::string>{"127.0.0.1:5353", "127.0.0.2"}));
  EXPECT_TRUE(d.resolversOverridden);
  const CNetTestSettings* n = GetNetTestSettings();
  EXPECT_EQ(n->m_dnsServerList, L"127.0.0.1:5353;127.0.0.2");
  EXPECT_EQ(n->m_testHost, L"nettest.test");
  EXPECT_EQ(n->m_spareIpList, L"127.0.0.2;127.0.0.3");
  EXPECT_EQ(n->m_lineIpMap,
            (std::map<std::wstring, std::wstring>{{L"3.3.3.3", L"127.0.0.2;127.0.0.3"}, {L"2.2.2.2", L"127.0.0.4"}}));

  // No spare addresses at all is a valid deployment.
  ::setenv("VKQX_SPARE_IPS", "", 1);
  ReloadSettingsForTesting();
  EXPECT_EQ(GetNetTestSettings()->m_spareIpList, L"");
}

TEST_F(AppSettingsTest, MalformedOverridesAreIgnoredWithALogLine) {
  struct Bad {
    const char* name;
    const char* value;
  };
  const Bad cases[] = {
      {"VKQX_UPDATE_URLS", ""},
      {"VKQX_UPDATE_URLS", "http://127.0.0.1/vkinstall.txt;;http://127.0.0.2/"},
      {"VKQX_UPDATE_URLS", "ftp://127.0.0.1/vkinstall.txt"},
      {"VKQX_UPDATE_URLS", "http:///vkinstall.txt"},
      {"VKQX_STAT_URL", "127.0.0.1:9000/api"},
      {"VKQX_STAT_URL", "http://127.0.0.1/a b"},
      {"VKQX_RESOLVERS", "127.0.0.1:0"},
      {"VKQX_RESOLVERS", "127.0.0.1;localhost"},
      {"VKQX_RESOLVERS", ""},
      {"VKQX_TEST_HOST", ""},
      {"VKQX_TEST_HOST", "bad host"},
      {"VKQX_SPARE_IPS", "127.0.0.2;;127.0.0.3"},
      {"VKQX_SPARE_IPS", "127.0.0.256"},
      {"VKQX_MARKER_LISTS", "3.3.3.3"},
      {"VKQX_MARKER_LISTS", "3.3.3.3=127.0.0.2|"},
      {"VKQX_MARKER_LISTS", "3.3.3.3="},
      {"VKQX_MARKER_LISTS", "marker=127.0.0.2"},
      {"VKQX_MARKER_LISTS", "3.3.3.3=127.0.0.2|3.3.3.3=127.0.0.3"},
      {"VKQX_LICENSE_URL", "javascript:alert(1)"},
  };
  const DeploymentSettings defaults = GetDeploymentSettings();
  const CNetTestSettings netDefaults = *GetNetTestSettings();
  for (const Bad& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    trace.Clear();
    ::setenv(c.name, c.value, 1);
    ReloadSettingsForTesting();
    const DeploymentSettings& d = GetDeploymentSettings();
    const CNetTestSettings* n = GetNetTestSettings();
    EXPECT_EQ(d.updateUrls, defaults.updateUrls);
    EXPECT_EQ(d.statUrl, defaults.statUrl);
    EXPECT_EQ(d.licenseUrl, defaults.licenseUrl);
    EXPECT_EQ(d.resolvers, defaults.resolvers);
    EXPECT_FALSE(d.resolversOverridden);
    EXPECT_EQ(n->m_testHost, netDefaults.m_testHost);
    EXPECT_EQ(n->m_spareIpList, netDefaults.m_spareIpList);
    EXPECT_EQ(n->m_lineIpMap, netDefaults.m_lineIpMap);
    EXPECT_EQ(trace.Count(L"AppSettings 环境变量 " + platform::Utf8ToWide(c.name) + L" 的值无效"), 1u) << trace.Dump();
    ::unsetenv(c.name);
  }
}

TEST_F(AppSettingsTest, LookupResultPicksTheSpareListOfASingleMarker) {
  ::setenv("VKQX_SPARE_IPS", "127.0.0.9", 1);
  ::setenv("VKQX_MARKER_LISTS", "3.3.3.3=127.0.0.2;127.0.0.3|2.2.2.2=127.0.0.4", 1);
  struct Case {
    int code;
    const char* answer;
    const wchar_t* spare;
    bool chosenLine;
  };
  const Case cases[] = {
      {0, "3.3.3.3", L"127.0.0.2;127.0.0.3", true},
      {0, "3.3.3.3;", L"127.0.0.2;127.0.0.3", true},  // nothing after a final separator
      {0, "2.2.2.2", L"127.0.0.4", true},
      {0, "3.3.3.3;2.2.2.2", L"127.0.0.9", false},  // two addresses keep the default
      {0, ";3.3.3.3", L"127.0.0.9", false},         // an empty piece counts as an entry
      {0, "8.8.4.4", L"127.0.0.9", false},          // no marker
      {0, "", L"127.0.0.9", false},
      {-1, "", L"127.0.0.9", false},
      {-1, "3.3.3.3", L"127.0.0.9", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.answer) + " code " + std::to_string(c.code));
    ReloadSettingsForTesting();
    trace.Clear();
    int context = 0;
    dns_result_callback(c.code, &context, "nettest.test", c.answer);
    EXPECT_EQ(GetNetTestSettings()->m_spareIpList, c.spare);
    const bool success = c.code == 0 && c.answer[0] != '\0';
    EXPECT_EQ(trace.Count(L"dns_result_callback OnSpareDNSResult 解析成功 code:0, domain:nettest.test, ip_list:" +
                          platform::Utf8ToWide(c.answer) + L", id:0x"),
              success ? 1u : 0u)
        << trace.Dump();
    EXPECT_EQ(trace.Count(L"dns_result_callback OnSpareDNSResult 失败 code:" + std::to_wstring(c.code) +
                          L", domain:nettest.test ,id:0x"),
              success ? 0u : 1u)
        << trace.Dump();
    EXPECT_EQ(trace.Count(L"解析ip列表为:" + std::wstring(c.spare)), c.chosenLine ? 1u : 0u) << trace.Dump();
  }
}

TEST_F(AppSettingsTest, StringsMissingFromTheProgramAreEmpty) {
  // This test program embeds no string table.
  EXPECT_EQ(LoadResString(IDS_PACKAGE_ID), L"");
  EXPECT_EQ(LoadResString(IDS_WINDOW_TITLE), L"");
}

}  // namespace
