// CUpdater against nginx (HTTPS with a certificate made at test time, HTTP, the package on
// 127.0.0.1-3) with a listener that records what the main window would hear.
#include "installer/Updater/Updater.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "commonlib/util/MD5.h"
#include "installer/AppSettings.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/commonlib/engine/engine_test_support.h"
#include "tests/support/FreePort.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ServicesScope.h"
#include "tests/support/TraceCapture.h"

namespace {

using vkqx_test::ServicesScope;

struct InfoResult {
  int type;
  int code;
  std::wstring version;
  std::wstring md5;
};
struct Finish {
  int type;
  int code;
  std::wstring message;
};

class RecordingListener : public IGameEventListener {
 public:
  void OnProgress(int64_t total, int64_t completed, int64_t speed) override {
    progress.push_back({total, completed, speed});
  }
  void OnDownloadFinish(int type, int code, const std::wstring& message) override {
    finishes.push_back({type, code, message});
  }
  void OnInfoResult(int type, int code, const std::wstring& version, const std::wstring& md5) override {
    infos.push_back({type, code, version, md5});
  }
  struct Progress {
    int64_t total, completed, speed;
  };
  std::vector<Progress> progress;
  std::vector<Finish> finishes;
  std::vector<InfoResult> infos;
};

const char* const kSettings[] = {"VKQX_UPDATE_URLS", "VKQX_SPARE_IPS", "VKQX_MARKER_LISTS"};

std::string PackageBytes(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 131) % 251);
  return data;
}

std::string Md5Of(const std::string& data) {
  MD5 digest(data.data(), data.size());
  return digest.hex_digest();
}

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vkqx_test::NginxOptions options;
    options.addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
    options.https = true;
    options.extraServerConfig = "    location = /slow.exe { limit_rate 400k; }\n";
    nginx = std::make_unique<vkqx_test::NginxServer>(options);
    ASSERT_TRUE(nginx->Start());
    nginx->WriteFile("vkinstaller.exe", package);
    nginx->WriteFile("slow.exe", package);
    nginx->WriteFile("dir/file", "x");  // "/dir/" is a directory without an index: 403
    ::setenv("VKQX_SPARE_IPS", "", 1);
    ReloadSettingsForTesting();
  }
  void TearDown() override {
    for (const char* name : kSettings) ::unsetenv(name);
    ReloadSettingsForTesting();
  }

  // The descriptor URLs the updater tries, in order.
  void UseUrls(const std::vector<std::string>& urls) {
    std::string joined;
    for (const std::string& u : urls) joined += (joined.empty() ? "" : ";") + u;
    ::setenv("VKQX_UPDATE_URLS", joined.c_str(), 1);
    ReloadSettingsForTesting();
  }
  std::string Descriptor(const std::string& packageUrl, const std::string& extra = "") const {
    return "[Install]\r\nUrl=" + packageUrl + "\r\nSize=" + std::to_string(package.size()) +
           "\r\nMd5=" + Md5Of(package) + "\r\nVersion=1.0.3\r\n" + extra;
  }
  // Creates the helper window and the directory, and asks for the descriptor, as the main window.
  std::unique_ptr<CUpdater> Start(const std::wstring& dir = L"C:\\dl") {
    auto updater = std::make_unique<CUpdater>(dir, &listener);
    EXPECT_EQ(updater->CreateHelperWindow(), 0);
    std::filesystem::create_directories(drive.Host("dl"));
    EXPECT_TRUE(updater->RequestInfo());
    return updater;
  }
  bool WaitFor(const std::function<bool()>& done, int timeoutMs = 60000) {
    return ServicesScope::RunUntil(done, timeoutMs);
  }
  size_t DescriptorFiles() const {
    size_t n = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(drive.Host("dl"), error))
      n += entry.path().filename().string().rfind("qxinstall_", 0) == 0;
    return n;
  }

  const std::string package = PackageBytes(3 * 1024 * 1024 + 4321);
  engine_test::TempDrive drive;
  vkqx_test::TraceCapture trace;
  ServicesScope services;
  std::unique_ptr<vkqx_test::NginxServer> nginx;
  RecordingListener listener;
};

TEST_F(UpdaterTest, EachAttemptHasTheNextNumberedHelperClass) {
  const int32_t first = CUpdater::NextWindowNumberForTesting();
  CUpdater a(L"C:\\dl", &listener);
  CUpdater b(L"C:\\dl", &listener);
  ASSERT_EQ(a.CreateHelperWindow(), 0);
  ASSERT_EQ(b.CreateHelperWindow(), 0);
  EXPECT_EQ(a.m_className, L"_UPDATE_MODULE_HELPER_WINDOW_VELKOR" + std::to_wstring(first));
  EXPECT_EQ(b.m_className, L"_UPDATE_MODULE_HELPER_WINDOW_VELKOR" + std::to_wstring(first + 1));
  a.Stop();
  b.Stop();
  EXPECT_EQ(a.m_hwnd, nullptr);
  // The class is gone with the window: a new window of that name can be registered again.
  EXPECT_NE(platform::RegisterClass({platform::DefWindowProc, a.m_className.c_str()}), 0);
  platform::UnregisterClass(a.m_className.c_str());
}

TEST_F(UpdaterTest, TheHttpsUrlFailsTheSecondAnswersAndThePackageArrivesOnce) {
  nginx->WriteFile("vkinstall.txt", Descriptor(nginx->Url("/vkinstaller.exe")));
  UseUrls({nginx->HttpsUrl("/missing.txt"), nginx->Url("/vkinstall.txt"), nginx->Url("/never-asked.txt")});
  auto updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.finishes.empty(); })) << trace.Dump();
  ServicesScope::RunFor(200);

  EXPECT_EQ(trace.Count(L"CUpdater::RequestInfo 请求安装描述"), 2u) << trace.Dump();
  ASSERT_EQ(listener.infos.size(), 1u);  // nothing for the failed URL
  EXPECT_EQ(listener.infos[0].type, 0);
  EXPECT_EQ(listener.infos[0].version, L"1.0.3");
  EXPECT_EQ(listener.infos[0].md5, platform::Utf8ToWide(Md5Of(package)));
  ASSERT_EQ(listener.finishes.size(), 1u);
  EXPECT_EQ(listener.finishes[0].type, 0);
  EXPECT_EQ(listener.finishes[0].code, 0);
  EXPECT_EQ(listener.finishes[0].message, L"");
  EXPECT_TRUE(drive.Read("dl/vkinstaller.exe") == package);
  EXPECT_EQ(updater->m_targetPath, L"C:\\dl\\vkinstaller.exe");
  EXPECT_EQ(updater->m_minSpeed, 0);  // no ThirdCDNMinSpeed
  EXPECT_FALSE(updater->m_downloading);
  EXPECT_EQ(DescriptorFiles(), 0u);
  EXPECT_TRUE(CUpdater::VerifyPackage(L"C:\\dl\\vkinstaller.exe", platform::Utf8ToWide(Md5Of(package))));
  updater->Stop();
}

TEST_F(UpdaterTest, AllThreeUrlsFailingGiveOneResultWithTheLastError) {
  const uint16_t closed = vkqx_test::FreePort();
  UseUrls({nginx->HttpsUrl("/missing.txt"), nginx->Url("/dir/"),
           "http://127.0.0.1:" + std::to_string(closed) + "/vkinstall.txt"});
  auto updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.infos.empty(); })) << trace.Dump();
  ServicesScope::RunFor(300);
  ASSERT_EQ(listener.infos.size(), 1u);
  EXPECT_EQ(listener.infos[0].type, 5);  // curl: the connection was refused
  EXPECT_EQ(listener.infos[0].code, 7);
  EXPECT_EQ(trace.Count(L"CUpdater::RequestInfo 请求安装描述"), 3u);
  EXPECT_TRUE(listener.finishes.empty());
  EXPECT_FALSE(updater->m_downloading);
  EXPECT_FALSE(updater->RequestInfo()) << "every URL has been asked";

  // The main window's retry starts over from the first URL.
  listener.infos.clear();
  updater->m_nextUrl = 0;
  ASSERT_TRUE(updater->RequestInfo());
  ASSERT_TRUE(WaitFor([&] { return !listener.infos.empty(); }));
  EXPECT_EQ(listener.infos[0].code, 7);
  updater->Stop();
}

TEST_F(UpdaterTest, DescriptorValuesAndTheTemporaryFile) {
  struct Case {
    std::string extra;
    int64_t minSpeed;
    std::wstring cdnHost;
  };
  const Case cases[] = {
      {"ThirdCDNMinSpeed=12345\r\nThirdCDNHost=cdn.test\r\n", 12345, L"cdn.test"},
      {"ThirdCDNMinSpeed=fast\r\n", 0, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extra);
    listener = RecordingListener();
    // Url names a file that does not exist; SSLUrl replaces it.
    nginx->WriteFile("vkinstall.txt",
                     Descriptor(nginx->Url("/wrong.exe"), c.extra + "SSLUrl=" + nginx->HttpsUrl("/vkinstaller.exe")));
    UseUrls({nginx->Url("/vkinstall.txt")});
    auto updater = Start();
    ASSERT_TRUE(WaitFor([&] { return !listener.finishes.empty(); })) << trace.Dump();
    EXPECT_EQ(updater->m_url, platform::Utf8ToWide(nginx->HttpsUrl("/vkinstaller.exe")));
    EXPECT_EQ(updater->m_minSpeed, c.minSpeed);
    EXPECT_EQ(updater->m_cdnHost, c.cdnHost);
    EXPECT_EQ(updater->m_size, std::to_wstring(package.size()));
    EXPECT_EQ(listener.finishes[0].type, 0);
    EXPECT_EQ(DescriptorFiles(), 0u);
    updater->Stop();
  }
  for (const auto& entry : nginx->AccessLog()) EXPECT_EQ(entry.request.find("/wrong.exe"), std::string::npos);
}

TEST_F(UpdaterTest, ADescriptorThatCannotBeStoredIsTypeOneAndStartsNothing) {
  nginx->WriteFile("vkinstall.txt", Descriptor(nginx->Url("/vkinstaller.exe")));
  UseUrls({nginx->Url("/vkinstall.txt"), nginx->Url("/vkinstall.txt")});
  CUpdater updater(L"C:\\missing\\dir", &listener);
  ASSERT_EQ(updater.CreateHelperWindow(), 0);
  ASSERT_TRUE(updater.RequestInfo());
  ASSERT_TRUE(WaitFor([&] { return !listener.infos.empty(); }));
  ServicesScope::RunFor(200);
  ASSERT_EQ(listener.infos.size(), 1u);
  EXPECT_EQ(listener.infos[0].type, 1);
  EXPECT_EQ(listener.infos[0].code, 3);  // ERROR_PATH_NOT_FOUND
  EXPECT_FALSE(updater.m_downloading);
  EXPECT_EQ(trace.Count(L"CUpdater::RequestInfo 请求安装描述"), 1u) << "a disk problem is no reason to ask elsewhere";
  updater.Stop();
}

TEST_F(UpdaterTest, OversizedOrGarbageDescriptors) {
  nginx->WriteFile("big.txt", "[Install]\r\nUrl=" + std::string(kMaxDescriptorBytes, 'a') + "\r\n");
  UseUrls({nginx->Url("/big.txt"), nginx->HttpsUrl("/big.txt"), nginx->Url("/big.txt", "127.0.0.2")});
  auto updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.infos.empty(); })) << trace.Dump();
  EXPECT_EQ(trace.Count(L"CUpdater::RequestInfo 请求安装描述"), 3u);
  ASSERT_EQ(listener.infos.size(), 1u);
  EXPECT_EQ(listener.infos[0].type, 3);
  EXPECT_EQ(listener.infos[0].code, kUpdaterDescriptorTooLarge);
  EXPECT_FALSE(updater->m_downloading);
  EXPECT_EQ(DescriptorFiles(), 0u);
  updater->Stop();

  // Bytes that are no INI text name no package (an empty download would pass for a finished
  // one), nor does a descriptor without a size: both count as a failed URL; the next one answers.
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 37 + 11) % 256);
  nginx->WriteFile("garbage.txt", garbage);
  nginx->WriteFile("nosize.txt", "[Install]\r\nUrl=" + nginx->Url("/vkinstaller.exe") + "\r\n");
  nginx->WriteFile("vkinstall.txt", Descriptor(nginx->Url("/vkinstaller.exe")));
  UseUrls({nginx->Url("/garbage.txt"), nginx->Url("/nosize.txt"), nginx->Url("/vkinstall.txt")});
  listener = RecordingListener();
  updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.finishes.empty(); }, 60000)) << trace.Dump();
  EXPECT_EQ(trace.Count(L"CUpdater::RequestInfo 请求安装描述"), 6u);
  ASSERT_EQ(listener.infos.size(), 1u);
  EXPECT_EQ(listener.infos[0].type, 0);
  ASSERT_EQ(listener.finishes.size(), 1u);
  EXPECT_EQ(listener.finishes[0].type, 0);
  EXPECT_TRUE(drive.Read("dl/vkinstaller.exe") == package);
  EXPECT_EQ(DescriptorFiles(), 0u);
  updater->Stop();

  UseUrls({nginx->Url("/garbage.txt")});
  listener = RecordingListener();
  updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.infos.empty(); }, 60000)) << trace.Dump();
  EXPECT_EQ(listener.infos[0].type, 3);
  EXPECT_EQ(listener.infos[0].code, kUpdaterDescriptorUnusable);
  EXPECT_FALSE(updater->m_downloading);
  updater->Stop();
}

TEST_F(UpdaterTest, ProgressReachesTheListenerAndNothingAfterStop) {
  nginx->WriteFile("vkinstall.txt", Descriptor(nginx->Url("/slow.exe")));
  UseUrls({nginx->Url("/vkinstall.txt")});
  auto updater = Start();
  ASSERT_TRUE(WaitFor([&] { return listener.progress.size() >= 2; })) << trace.Dump();
  for (const auto& p : listener.progress) {
    EXPECT_EQ(p.total, static_cast<int64_t>(package.size()));
    EXPECT_LE(p.completed, p.total);
    EXPECT_GE(p.speed, 0);
  }
  // A sample already posted when the attempt stops is never shown, nor any later one.
  updater->m_progress[L"process"][L"total"] = 1;
  ASSERT_TRUE(platform::PostMessage(updater->m_hwnd, UM_PROGRESS, 0, 0));
  const size_t shown = listener.progress.size();
  updater->Stop();
  ServicesScope::RunFor(2500);
  EXPECT_EQ(listener.progress.size(), shown);
  EXPECT_TRUE(listener.finishes.empty());
  EXPECT_FALSE(updater->m_downloading);
}

TEST_F(UpdaterTest, AllSourcesGoneForTenSecondsIsTheInstallFailure) {
  const uint16_t closed = vkqx_test::FreePort();
  nginx->WriteFile("vkinstall.txt", Descriptor("http://127.0.0.1:" + std::to_string(closed) + "/vkinstaller.exe"));
  UseUrls({nginx->Url("/vkinstall.txt")});
  auto updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.finishes.empty(); }, 90000)) << trace.Dump();
  ServicesScope::RunFor(300);
  ASSERT_EQ(listener.finishes.size(), 1u);
  EXPECT_EQ(listener.finishes[0].type, 3);
  EXPECT_EQ(listener.finishes[0].code, 809);
  EXPECT_EQ(listener.finishes[0].message, L"安装失败");
  updater->Stop();
}

TEST_F(UpdaterTest, TheSpareListIsReadWhenTheDownloadStarts) {
  ::setenv("VKQX_SPARE_IPS", "127.0.0.2;127.0.0.3", 1);
  ::setenv("VKQX_MARKER_LISTS", "3.3.3.3=127.0.0.9", 1);
  nginx->WriteFile("vkinstall.txt", Descriptor(nginx->Url("/slow.exe")));
  UseUrls({nginx->Url("/vkinstall.txt")});
  auto updater = Start();
  ASSERT_TRUE(WaitFor([&] { return !listener.infos.empty(); }));
  // The lookup answers after the download started: later downloads use the new list, this one not.
  int context = 0;
  dns_result_callback(0, &context, "nettest.test", "3.3.3.3");
  EXPECT_EQ(GetNetTestSettings()->m_spareIpList, L"127.0.0.9");
  ASSERT_TRUE(WaitFor([&] { return !listener.finishes.empty(); })) << trace.Dump();
  EXPECT_EQ(listener.finishes[0].type, 0);
  EXPECT_TRUE(trace.Has(L"ip:127.0.0.2")) << trace.Dump();
  EXPECT_TRUE(trace.Has(L"ip:127.0.0.3"));
  EXPECT_FALSE(trace.Has(L"ip:127.0.0.9"));
  std::set<std::string> served;
  for (const auto& entry : nginx->AccessLog())
    if (entry.request.find("/slow.exe") != std::string::npos) served.insert(entry.serverAddress);
  EXPECT_TRUE(served.count("127.0.0.2") + served.count("127.0.0.3") >= 1) << "pinned sources fetched blocks";
  EXPECT_EQ(served.count("127.0.0.9"), 0u);
  updater->Stop();
}

TEST(VerifyPackageTest, ComparesTheDigestWithoutRegardToCase) {
  engine_test::TempDrive drive;
  drive.Write("p.exe", "package bytes");
  const std::string md5 = Md5Of("package bytes");
  std::string upper = md5;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    const wchar_t* path;
    std::string expected;
    bool good;
  };
  const Case cases[] = {
      {L"C:\\p.exe", md5, true},
      {L"C:\\p.exe", upper, true},
      {L"C:\\p.exe", md5.substr(0, 31), false},
      {L"C:\\p.exe", md5 + "0", false},
      {L"C:\\p.exe", Md5Of("other bytes"), false},
      {L"C:\\missing.exe", md5, false},
      {L"C:\\missing.exe", "", true},  // nothing to check
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CUpdater::VerifyPackage(c.path, platform::Utf8ToWide(c.expected)), c.good)
        << platform::WideToUtf8(c.path) << " " << c.expected;
  }
}

}  // namespace
