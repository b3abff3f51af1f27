// nginx started by a test on free loopback ports, with a configuration written for that test into
// a temporary directory: one plain HTTP port (and optionally one HTTPS port, with a self-signed
// certificate made at start) on each listen address, a document root, redirects, a 404 page with a
// body, range and rate settings, and an access log that names the address each request came to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

namespace vkqx_test {

struct NginxRedirect {
  std::string path;    // exact request path, "/old"
  int status = 302;    // 301 or 302
  std::string target;  // Location: a URL or an absolute path
};

struct NginxOptions {
  // Every address gets the same ports.
  std::vector<std::string> addresses = {"127.0.0.1"};
  bool https = false;
  // Names the certificate is made for (subject alternative names); IPs are written as IP entries.
  std::vector<std::string> certificateNames = {"localhost", "127.0.0.1", "127.0.0.2", "127.0.0.3"};
  std::vector<NginxRedirect> redirects;
  std::string notFoundBody = "<html><body>not found</body></html>\n";
  bool noRanges = false;  // "max_ranges 0": Range requests get the whole file with 200
  std::string limitRate;  // "limit_rate" value ("100k"); empty: unlimited
  // A path ("/form") whose request bodies nginx keeps, each in a file of its own, answering 200
  // "stored"; StoredBodies() reads them back. Empty: none.
  std::string bodyStorePath;
  // Written inside every server block, for what a test needs beyond the above.
  std::string extraServerConfig;
};

struct NginxAccessEntry {
  std::string serverAddress;  // $server_addr
  uint16_t serverPort = 0;
  std::string request;  // "GET /file HTTP/1.1"
  std::string range;    // $http_range, empty when none
  int status = 0;
  uint64_t bodyBytes = 0;
};

class NginxServer {
 public:
  explicit NginxServer(NginxOptions options = {});
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // Starts nginx (on fresh ports if the chosen ones were taken meanwhile); false, with a test
  // failure carrying nginx's output, when it does not come up.
  bool Start();
  void Stop();

  uint16_t port() const { return m_port; }
  uint16_t httpsPort() const { return m_httpsPort; }
  const std::string& docRoot() const { return m_docRoot; }
  // The certificate file, for curl's --cacert or the CA file of a transfer.
  const std::string& certificatePath() const { return m_certPath; }
  // "http://127.0.0.1:<port>/path" (or https with the HTTPS port).
  std::string Url(const std::string& path, const std::string& host = "127.0.0.1") const;
  std::string HttpsUrl(const std::string& path, const std::string& host = "127.0.0.1") const;

  // Writes a file under the document root (directories are made as needed).
  void WriteFile(const std::string& relativePath, const std::string& content) const;

  // The access log so far; entries are written when a request ends, so a test that just got its
  // answer may wait for them.
  std::vector<NginxAccessEntry> AccessLog() const;
  bool WaitForAccessEntries(size_t count, int timeoutMs = 5000) const;
  std::string Logs() const;
  // Every request body kept at bodyStorePath so far, one after the other.
  std::string StoredBodies() const;

 private:
  std::string Config() const;
  std::string ServerBlock(const std::string& address, uint16_t port, bool tls) const;
  bool MakeCertificate();
  bool StartOnce();

  NginxOptions m_options;
  TempDir m_dir;
  std::string m_docRoot;
  std::string m_certPath;
  std::string m_keyPath;
  uint16_t m_port = 0;
  uint16_t m_httpsPort = 0;
  std::unique_ptr<ServerProcess> m_process;
};

}  // namespace vkqx_test
