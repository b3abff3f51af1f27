// Everything a real installer run needs around it, on loopback and in a temporary directory of
// the test's own: nginx with the install descriptor over HTTPS and HTTP and the package on
// 127.0.0.1-3, dnsmasq answering the network-test host with a marker address, the statistics
// receiver, a drive table (C: and D:) with the installer program copied into D:\Downloads as a
// player has it, and an XDG_RUNTIME_DIR of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "commonlib/util/MD5.h"
#include "tests/installer/InstallTestPrograms.h"
#include "tests/installer/InstallerProcess.h"
#include "tests/support/DnsmasqServer.h"
#include "tests/support/NginxServer.h"
#include "tests/support/StatReceiver.h"
#include "tests/support/TempDir.h"

namespace vkqx_test {

struct InstallWorldOptions {
  std::string limitRate;          // nginx's rate per connection ("100k"); empty: unlimited
  std::string md5;                // the descriptor's Md5; empty: the package's own
  bool firstUrlFails = false;     // the first descriptor URL answers 404
  std::string package;            // the bytes served as the package; empty: the real package
};

class InstallWorld {
 public:
  explicit InstallWorld(InstallWorldOptions options = {}) : m_options(std::move(options)) {}

  // Starts the servers and lays out the drives; false (with a test failure) when a server does
  // not come up.
  bool Start() {
    namespace fs = std::filesystem;
    NginxOptions nginxOptions;
    nginxOptions.addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.3"};
    nginxOptions.https = true;
    nginxOptions.limitRate = m_options.limitRate;
    nginx = std::make_unique<NginxServer>(nginxOptions);
    if (!nginx->Start()) return false;
    m_package = m_options.package.empty() ? ReadFileText(PackageProgram()) : m_options.package;
    nginx->WriteFile("vkinstaller.exe", m_package);
    nginx->WriteFile("vkinstall.txt", Descriptor());

    DnsmasqRecords records;
    records.addresses = {{"nettest.test", "3.3.3.3"}};
    dns = std::make_unique<DnsmasqServer>(records);
    if (!dns->Start()) return false;

    stat = std::make_unique<StatReceiver>(dir.Sub("stat_records.jsonl"));
    if (!stat->Start()) return false;

    fs::create_directories(dir.Sub("c"));
    fs::create_directories(dir.Sub("d/Downloads"));
    fs::create_directories(dir.Sub("runtime"));
    fs::permissions(dir.Sub("runtime"), fs::perms::owner_all);
    fs::copy_file(BuildDir() + "/bin/installer", Program(), fs::copy_options::overwrite_existing);
    return true;
  }

  std::string Descriptor() const {
    const std::string md5 = m_options.md5.empty() ? MD5(m_package.data(), m_package.size()).hex_digest() : m_options.md5;
    return "[Install]\r\nUrl=" + nginx->Url("/vkinstaller.exe") + "\r\nSize=" + std::to_string(m_package.size()) +
           "\r\nMd5=" + md5 +
           "\r\nVersion=1.0.3\r\n";
  }

  std::string Program() const { return dir.Sub("d/Downloads/installer"); }
  // Where a hidden run installs: the folder beside the program's folder.
  std::string InstallDir() const { return dir.Sub("d/VelkorTessary"); }
  std::string Drives() const { return "C:=" + dir.Sub("c") + ";D:=" + dir.Sub("d"); }

  std::vector<std::string> Settings() const {
    const std::string first =
        m_options.firstUrlFails ? nginx->HttpsUrl("/missing/vkinstall.txt") : nginx->HttpsUrl("/vkinstall.txt");
    return {
        "VKQX_DRIVES=" + Drives(),
        "VKQX_UPDATE_URLS=" + first + ";" + nginx->Url("/vkinstall.txt") + ";" +
            nginx->Url("/vkinstall.txt", "127.0.0.2"),
        "VKQX_STAT_URL=" + stat->Url(),
        "VKQX_RESOLVERS=" + dns->Resolver(),
        "VKQX_TEST_HOST=nettest.test",
        "VKQX_SPARE_IPS=127.0.0.2;127.0.0.3",
        "VKQX_MARKER_LISTS=3.3.3.3=127.0.0.2;127.0.0.3",
    };
  }

  std::unique_ptr<InstallerProcess> Run(const std::vector<std::string>& args, std::vector<std::string> extra = {}) {
    std::vector<std::string> settings = Settings();
    settings.insert(settings.end(), extra.begin(), extra.end());
    return std::make_unique<InstallerProcess>(args, dir.Sub("runtime"), settings, Program());
  }

  // Bytes of the package nginx has sent, over all addresses.
  uint64_t PackageBytesSent() const {
    uint64_t sum = 0;
    for (const NginxAccessEntry& e : nginx->AccessLog())
      if (e.request.find("/vkinstaller.exe") != std::string::npos) sum += e.bodyBytes;
    return sum;
  }

  // The statistics records received, one JSON text each.
  std::vector<std::string> StatRecords() const {
    std::vector<std::string> lines;
    std::ifstream in(dir.Sub("stat_records.jsonl"));
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    return lines;
  }

  TempDir dir;
  std::unique_ptr<NginxServer> nginx;
  std::unique_ptr<DnsmasqServer> dns;
  std::unique_ptr<StatReceiver> stat;

 private:
  InstallWorldOptions m_options;
  std::string m_package;
};

}  // namespace vkqx_test
