#include "tests/support/NginxServer.h"

#include <arpa/inet.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tests/support/FreePort.h"

namespace vkqx_test {
namespace {

bool IsIpv4(const std::string& s) {
  in_addr a;
  return ::inet_pton(AF_INET, s.c_str(), &a) == 1;
}

// nginx started by root would hand its work to an unprivileged user who cannot read the test's
// private directory; it runs as the current user instead.
std::string UserDirective() {
  if (::geteuid() != 0) return "";
  const passwd* pw = ::getpwuid(::geteuid());
  const group* gr = ::getgrgid(::getegid());
  if (!pw || !gr) return "";
  return std::string("user ") + pw->pw_name + " " + gr->gr_name + ";\n";
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  for (std::string field; std::getline(ss, field, '\t');) out.push_back(field == "-" ? "" : field);
  return out;
}

}  // namespace

NginxServer::NginxServer(NginxOptions options) : m_options(std::move(options)) {
  m_docRoot = m_dir.Sub("html");
  std::filesystem::create_directories(m_docRoot);
  std::filesystem::create_directories(m_dir.Sub("temp"));
  std::filesystem::create_directories(m_dir.Sub("bodies"));
  WriteFileText(m_dir.Sub("404.html"), m_options.notFoundBody);
}

NginxServer::~NginxServer() { Stop(); }

std::string NginxServer::Url(const std::string& path, const std::string& host) const {
  return "http://" + host + ":" + std::to_string(m_port) + path;
}

std::string NginxServer::HttpsUrl(const std::string& path, const std::string& host) const {
  return "https://" + host + ":" + std::to_string(m_httpsPort) + path;
}

void NginxServer::WriteFile(const std::string& relativePath, const std::string& content) const {
  const std::filesystem::path p = std::filesystem::path(m_docRoot) / relativePath;
  std::filesystem::create_directories(p.parent_path());
  WriteFileText(p.string(), content);
}

bool NginxServer::MakeCertificate() {
  m_certPath = m_dir.Sub("cert.pem");
  m_keyPath = m_dir.Sub("key.pem");
  std::string san = "subjectAltName=";
  for (size_t i = 0; i < m_options.certificateNames.size(); ++i) {
    const std::string& n = m_options.certificateNames[i];
    san += (i ? "," : "") + std::string(IsIpv4(n) ? "IP:" : "DNS:") + n;
  }
  const std::string cn = m_options.certificateNames.empty() ? "localhost"
                                                            : m_options.certificateNames.front();
  const ProgramResult r = RunProgram(
      FindProgram("openssl"),
      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
       "-keyout", m_keyPath, "-out", m_certPath, "-days", "2", "-subj", "/CN=" + cn, "-addext", san});
  if (r.exitCode != 0) {
    ADD_FAILURE() << "openssl could not make the test certificate:\n" << r.err;
    return false;
  }
  return true;
}

std::string NginxServer::StoredBodies() const {
  std::string bodies;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir.Sub("bodies")))
    if (entry.is_regular_file()) bodies += ReadFileText(entry.path().string());
  return bodies;
}

std::string NginxServer::ServerBlock(const std::string& address, uint16_t port, bool tls) const {
  std::ostringstream c;
  c << "  server {\n    listen " << address << ":" << port << (tls ? " ssl" : "") << ";\n";
  if (tls) {
    c << "    ssl_certificate " << m_certPath << ";\n    ssl_certificate_key " << m_keyPath
      << ";\n";
  }
  c << "    root " << m_docRoot << ";\n";
  if (m_options.noRanges) c << "    max_ranges 0;\n";
  if (!m_options.limitRate.empty()) c << "    limit_rate " << m_options.limitRate << ";\n";
  c << "    error_page 404 /__404.html;\n"
    << "    location = /__404.html { internal; alias " << m_dir.Sub("404.html") << "; }\n";
  for (const NginxRedirect& r : m_options.redirects)
    c << "    location = " << r.path << " { return " << r.status << " " << r.target << "; }\n";
  // nginx keeps a request body in a file of its own only when it passes the request on.
  if (!m_options.bodyStorePath.empty()) {
    c << "    location = " << m_options.bodyStorePath << " { client_body_in_file_only on; client_body_temp_path "
      << m_dir.Sub("bodies") << "; proxy_pass http://$server_addr:$server_port/__stored; }\n"
      << "    location = /__stored { return 200 \"stored\"; }\n";
  }
  c << m_options.extraServerConfig << "\n  }\n";
  return c.str();
}

std::string NginxServer::Config() const {
  const std::string t = m_dir.Sub("temp");
  std::ostringstream c;
  c << UserDirective() << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
    << "pid " << m_dir.Sub("nginx.pid") << ";\n"
    << "error_log " << m_dir.Sub("error.log") << " info;\n"
    << "events { worker_connections 256; }\n"
    << "http {\n"
    << "  default_type application/octet-stream;\n"
    << "  sendfile on;\n  keepalive_timeout 30;\n"
    << "  client_body_temp_path " << t << "/body;\n  proxy_temp_path " << t << "/proxy;\n"
    << "  fastcgi_temp_path " << t << "/fastcgi;\n  uwsgi_temp_path " << t << "/uwsgi;\n"
    << "  scgi_temp_path " << t << "/scgi;\n"
    << "  log_format vkqx '$server_addr\\t$server_port\\t$request\\t$http_range\\t$status\\t"
       "$body_bytes_sent';\n"
    << "  access_log " << m_dir.Sub("access.log") << " vkqx;\n";
  for (const std::string& a : m_options.addresses) {
    c << ServerBlock(a, m_port, false);
    if (m_options.https) c << ServerBlock(a, m_httpsPort, true);
  }
  c << "}\n";
  return c.str();
}

bool NginxServer::StartOnce() {
  m_port = FreePort(PortKind::kTcp, m_options.addresses);
  m_httpsPort = m_options.https ? FreePort(PortKind::kTcp, m_options.addresses) : 0;
  if (m_port == 0 || (m_options.https && (m_httpsPort == 0 || m_httpsPort == m_port)))
    return false;
  const std::string conf = m_dir.Sub("nginx.conf");
  WriteFileText(conf, Config());
  m_process = std::make_unique<ServerProcess>("nginx");
  if (!m_process->Start(FindProgram("nginx"),
                       {"-p", m_dir.path() + "/", "-e", m_dir.Sub("error.log"), "-c", conf}))
    return false;
  for (const std::string& a : m_options.addresses) {
    if (!m_process->WaitForTcpPort(a, m_port)) return false;
    if (m_options.https && !m_process->WaitForTcpPort(a, m_httpsPort)) return false;
  }
  return true;
}

bool NginxServer::Start() {
  Stop();
  if (FindProgram("nginx").empty()) {
    ADD_FAILURE() << "nginx is not installed (scripts/install-deps.sh installs it)";
    return false;
  }
  if (m_options.https && !MakeCertificate()) return false;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (StartOnce()) return true;
    if (attempt == 2) break;
    m_process.reset();  // another test may have taken a port between the check and the bind
  }
  ADD_FAILURE() << "nginx did not start\n" << Logs();
  return false;
}

void NginxServer::Stop() {
  if (m_process) m_process->Stop();
}

std::string NginxServer::Logs() const {
  std::string out = m_process ? m_process->Logs() : std::string();
  out += "==== nginx.conf\n" + ReadFileText(m_dir.Sub("nginx.conf"));
  out += "==== error.log\n" + ReadFileText(m_dir.Sub("error.log"));
  out += "==== access.log\n" + ReadFileText(m_dir.Sub("access.log"));
  return out;
}

std::vector<NginxAccessEntry> NginxServer::AccessLog() const {
  std::vector<NginxAccessEntry> entries;
  std::stringstream ss(ReadFileText(m_dir.Sub("access.log")));
  for (std::string line; std::getline(ss, line);) {
    const std::vector<std::string> f = SplitTabs(line);
    if (f.size() < 6) continue;
    NginxAccessEntry e;
    e.serverAddress = f[0];
    e.serverPort = static_cast<uint16_t>(std::stoul(f[1].empty() ? "0" : f[1]));
    e.request = f[2];
    e.range = f[3];
    e.status = std::stoi(f[4].empty() ? "0" : f[4]);
    e.bodyBytes = std::stoull(f[5].empty() ? "0" : f[5]);
    entries.push_back(std::move(e));
  }
  return entries;
}

bool NginxServer::WaitForAccessEntries(size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (AccessLog().size() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace vkqx_test
