#include "tests/support/StatReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>

#include "commonlib/util/MD5.h"
#include "tests/support/ListenSocket.h"

namespace vkqx_test {
namespace {

constexpr int kSliceMs = 50;
constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kMaxBodyBytes = 32 * 1024 * 1024;
constexpr int kReadTimeoutMs = 10000;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  size_t start = head.find("\r\n");
  while (start != std::string::npos && start + 2 < head.size()) {
    start += 2;
    const size_t end = head.find("\r\n", start);
    const std::string line = head.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t colon = line.find(':');
    if (colon != std::string::npos && Lower(line.substr(0, colon)) == name) {
      size_t v = colon + 1;
      while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
      return line.substr(v);
    }
    start = end;
  }
  return {};
}

// A parameter of a header value: name="x" or name=x.
std::string Parameter(const std::string& value, const std::string& name) {
  const std::string lower = Lower(value);
  size_t at = 0;
  while ((at = lower.find(name + "=", at)) != std::string::npos) {
    if (at == 0 || lower[at - 1] == ';' || lower[at - 1] == ' ') {
      size_t v = at + name.size() + 1;
      if (v < value.size() && value[v] == '"') {
        const size_t close = value.find('"', v + 1);
        if (close == std::string::npos) return {};
        return value.substr(v + 1, close - v - 1);
      }
      const size_t end = value.find(';', v);
      return value.substr(v, end == std::string::npos ? std::string::npos : end - v);
    }
    at += name.size();
  }
  return {};
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 411: return "Length Required";
    default: return "Error";
  }
}

}  // namespace

bool ParseMultipartForm(const std::string& contentType, const std::string& body,
                        std::vector<std::pair<std::string, std::string>>* parts) {
  if (Lower(contentType).rfind("multipart/form-data", 0) != 0) return false;
  const std::string boundary = Parameter(contentType, "boundary");
  if (boundary.empty()) return false;
  const std::string delimiter = "--" + boundary;
  size_t at = body.find(delimiter);
  if (at == std::string::npos) return false;
  parts->clear();
  for (;;) {
    at += delimiter.size();
    if (body.compare(at, 2, "--") == 0) return true;  // the closing delimiter
    if (body.compare(at, 2, "\r\n") != 0) return false;
    const size_t headStart = at + 2;
    const size_t headEnd = body.find("\r\n\r\n", headStart);
    if (headEnd == std::string::npos) return false;
    const std::string head = "\r\n" + body.substr(headStart, headEnd - headStart + 2);
    const size_t next = body.find("\r\n" + delimiter, headEnd + 4);
    if (next == std::string::npos) return false;
    const std::string disposition = HeaderValue(head, "content-disposition");
    parts->emplace_back(Parameter(disposition, "name"), body.substr(headEnd + 4, next - headEnd - 4));
    at = next + 2;
  }
}

StatReceiver::StatReceiver(std::string recordFile, std::string key)
    : m_recordFile(std::move(recordFile)), m_key(std::move(key)) {}

StatReceiver::~StatReceiver() { Stop(); }

std::string StatReceiver::Url() const {
  return "http://" + m_address + ":" + std::to_string(m_port) + kStatPath;
}

bool StatReceiver::Start(const std::string& address, uint16_t port) {
  Stop();
  m_stop = false;
  m_address = address;
  m_listenFd = OpenListenSocket(SOCK_STREAM, address, port, &m_port);
  if (m_listenFd < 0) return false;
  m_acceptThread = std::thread(&StatReceiver::AcceptLoop, this);
  return true;
}

void StatReceiver::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
    m_hold = false;
  }
  m_changed.notify_all();
  if (m_acceptThread.joinable()) m_acceptThread.join();
  for (std::thread& t : m_workers) t.join();
  m_workers.clear();
  if (m_listenFd >= 0) ::close(m_listenFd);
  m_listenFd = -1;
}

void StatReceiver::HoldAnswers() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_hold = true;
}

void StatReceiver::Release() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_hold = false;
  }
  m_changed.notify_all();
}

std::vector<StatUpload> StatReceiver::Uploads() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_uploads;
}

bool StatReceiver::WaitForUploads(size_t count, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_uploads.size() >= count; });
}

void StatReceiver::AcceptLoop() {
  while (!m_stop) {
    pollfd p{m_listenFd, POLLIN, 0};
    if (::poll(&p, 1, kSliceMs) != 1) continue;
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    m_workers.emplace_back(&StatReceiver::Serve, this, fd);
  }
}

void StatReceiver::Serve(int fd) {
  std::string input;
  auto readMore = [&]() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    while (!m_stop && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, kSliceMs) != 1) continue;
      char buffer[16384];
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      input.append(buffer, static_cast<size_t>(n));
      return true;
    }
    return false;
  };
  // One request per connection; curl asks for the go-ahead before larger bodies.
  while (input.find("\r\n\r\n") == std::string::npos) {
    if (input.size() > kMaxHeadBytes || !readMore()) {
      ::close(fd);
      return;
    }
  }
  const size_t headEnd = input.find("\r\n\r\n") + 4;
  const std::string head = input.substr(0, headEnd);
  int status = 0;
  std::string body;
  const std::string length = HeaderValue(head, "content-length");
  char* end = nullptr;
  const unsigned long long bodyBytes = length.empty() ? 0 : std::strtoull(length.c_str(), &end, 10);
  if (!HeaderValue(head, "transfer-encoding").empty()) {
    status = 411;  // bodies come with their length here
  } else if (!length.empty() && (*end != '\0' || bodyBytes > kMaxBodyBytes)) {
    status = 400;
  } else {
    if (Lower(HeaderValue(head, "expect")) == "100-continue") SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
    while (input.size() - headEnd < bodyBytes) {
      if (!readMore()) {
        ::close(fd);
        return;
      }
    }
    body = input.substr(headEnd, static_cast<size_t>(bodyBytes));
  }
  StatUpload upload;
  if (status == 0) status = Handle(head, body, &upload);
  upload.status = status;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_uploads.push_back(upload);
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_hold || m_stop; });
  }
  const std::string answer = status == 200 ? "{\"code\":0}" : "{\"code\":" + std::to_string(status) + "}";
  SendAll(fd, "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                  "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                  std::to_string(answer.size()) + "\r\n\r\n" + answer);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

int StatReceiver::Handle(const std::string& head, const std::string& body, StatUpload* upload) {
  const size_t space = head.find(' ');
  const size_t space2 = head.find(' ', space + 1);
  if (head.compare(0, space, "POST") != 0) return 404;
  if (head.substr(space + 1, space2 - space - 1) != kStatPath) return 404;
  upload->contentType = HeaderValue(head, "content-type");
  std::vector<std::pair<std::string, std::string>> parts;
  if (!ParseMultipartForm(upload->contentType, body, &parts)) return 400;
  bool haveSign = false, haveData = false;
  for (const auto& [name, value] : parts) {
    upload->partNames.push_back(name);
    if (name == "sign") upload->sign = value, haveSign = true;
    if (name == "data") upload->data = value, haveData = true;
  }
  if (!haveSign || !haveData) return 400;
  const std::string keyed = m_key + upload->data;
  MD5 digest(keyed.data(), keyed.size());
  if (upload->sign != digest.hex_digest()) return 403;
  AppendRecords(upload->data);
  return 200;
}

void StatReceiver::AppendRecords(const std::string& data) {
  if (m_recordFile.empty()) return;
  Json::Value records;
  Json::CharReaderBuilder reader;
  std::string errors;
  std::istringstream in(data);
  std::lock_guard<std::mutex> lock(m_mutex);
  std::ofstream out(m_recordFile, std::ios::binary | std::ios::app);
  if (!Json::parseFromStream(reader, in, &records, &errors)) {
    out << "{\"unreadable\":true}\n";
    return;
  }
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  writer["emitUTF8"] = true;
  auto write = [&](const Json::Value& record) { out << Json::writeString(writer, record) << "\n"; };
  if (records.isArray()) {
    for (const Json::Value& record : records) write(record);
  } else {
    write(records);
  }
}

}  // namespace vkqx_test
