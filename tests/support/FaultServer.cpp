#include "tests/support/FaultServer.h"

#include "tests/support/ListenSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>

namespace vkqx_test {
namespace {

constexpr int kSliceMs = 50;
constexpr size_t kMaxConnections = 256;
constexpr int64_t kMaxLifeMs = 10 * 60 * 1000;
constexpr size_t kMaxRequestBytes = 16 * 1024;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) == 1;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  std::stringstream ss(head);
  for (std::string line; std::getline(ss, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t colon = line.find(':');
    if (colon == std::string::npos || Lower(line.substr(0, colon)) != name) continue;
    size_t v = colon + 1;
    while (v < line.size() && line[v] == ' ') ++v;
    return line.substr(v);
  }
  return {};
}

// A single "bytes=first-last", "bytes=first-" or "bytes=-suffix" range of a body of size bytes.
// Returns false when the range is not satisfiable or not of that form.
bool ParseRange(const std::string& value, uint64_t size, uint64_t* first, uint64_t* last) {
  if (value.rfind("bytes=", 0) != 0 || value.find(',') != std::string::npos) return false;
  const std::string ranges = value.substr(6);
  const size_t dash = ranges.find('-');
  if (dash == std::string::npos || size == 0) return false;
  const std::string a = ranges.substr(0, dash), b = ranges.substr(dash + 1);
  try {
    if (a.empty()) {
      const uint64_t suffix = std::stoull(b);
      if (suffix == 0) return false;
      *first = suffix >= size ? 0 : size - suffix;
      *last = size - 1;
      return true;
    }
    *first = std::stoull(a);
    *last = b.empty() ? size - 1 : std::min<uint64_t>(std::stoull(b), size - 1);
    return *first < size && *first <= *last;
  } catch (...) {
    return false;
  }
}

}  // namespace

bool ParseHttpFaultScript(const std::string& text, std::vector<HttpFault>* script) {
  std::vector<HttpFault> out;
  std::stringstream ss(text);
  for (std::string step; std::getline(ss, step, ',');) {
    const size_t colon = step.find(':');
    const std::string name = step.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
    try {
      size_t used = 0;
      if (name == "serve" && arg.empty()) {
        out.push_back(HttpFault::Serve());
      } else if (name == "never" && arg.empty()) {
        out.push_back(HttpFault::NeverAnswer());
      } else if (name == "ignorerange" && arg.empty()) {
        out.push_back(HttpFault::IgnoreRange());
      } else if (name == "endless" && arg.empty()) {
        out.push_back(HttpFault::EndlessBody());
      } else if ((name == "close" || name == "stall" || name == "trickleheaders") && !arg.empty() &&
                 arg[0] != '-') {
        const uint64_t n = std::stoull(arg, &used);
        if (used != arg.size()) return false;
        if (name == "trickleheaders") {
          out.push_back(HttpFault::TrickleHeaders(static_cast<int>(n)));
        } else {
          out.push_back(name == "close" ? HttpFault::CloseAfter(n) : HttpFault::StallAfter(n));
        }
      } else if (name == "wronglen" && !arg.empty()) {
        const int64_t d = std::stoll(arg, &used);
        if (used != arg.size()) return false;
        out.push_back(HttpFault::WrongLength(d));
      } else {
        return false;
      }
    } catch (...) {
      return false;
    }
  }
  if (out.empty()) return false;
  *script = std::move(out);
  return true;
}

FaultServer::~FaultServer() { Stop(); }

std::string FaultServer::Url(const std::string& path) const {
  return "http://" + m_address + ":" + std::to_string(m_port) + path;
}

std::vector<FaultRequest> FaultServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

bool FaultServer::Stopping() const { return m_stop.load() || NowMs() > m_deadlineMs; }

bool FaultServer::Listen(int type, const std::string& address, uint16_t port) {
  Stop();
  m_stop = false;
  m_deadlineMs = NowMs() + kMaxLifeMs;
  m_listenFd = OpenListenSocket(type, address, port, &m_port);
  if (m_listenFd < 0) return false;
  m_address = address;
  return true;
}

bool FaultServer::StartHttp(std::string body, std::vector<HttpFault> script,
                            const std::string& address, uint16_t port) {
  if (script.empty()) script.push_back(HttpFault::Serve());
  if (!Listen(SOCK_STREAM, address, port)) return false;
  m_body = std::move(body);
  m_script = std::move(script);
  m_thread = std::thread([this] { AcceptLoop(); });
  return true;
}

bool FaultServer::StartDns(DnsResponder responder, const std::string& address, uint16_t port) {
  if (!responder || !Listen(SOCK_DGRAM, address, port)) return false;
  m_responder = std::move(responder);
  m_thread = std::thread([this] { DnsLoop(); });
  return true;
}

void FaultServer::Stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    workers.swap(m_workers);
  }
  for (std::thread& t : workers) t.join();
  if (m_listenFd >= 0) ::close(m_listenFd);
  m_listenFd = -1;
}

void FaultServer::AcceptLoop() {
  while (!Stopping()) {
    if (!WaitReadable(m_listenFd, kSliceMs)) continue;
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const size_t number = m_connections.fetch_add(1);
    if (number >= kMaxConnections) {
      ::close(fd);
      continue;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_workers.emplace_back([this, fd, number] { Serve(fd, number); });
  }
}

void FaultServer::Serve(int fd, size_t number) {
  // Sends block at most a slice, so a client that stops reading cannot hold Stop up.
  const timeval slice{0, kSliceMs * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &slice, sizeof slice);
  auto sendAll = [&](const char* data, size_t size) {
    while (size > 0 && !Stopping()) {
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return size == 0;
  };
  auto holdOpen = [&] {
    char sink[4096];
    while (!Stopping()) {
      if (WaitReadable(fd, kSliceMs) && ::recv(fd, sink, sizeof sink, 0) <= 0) return;
    }
  };

  // Both end when the client goes away (a failed send) or the server stops.
  auto trickleHeaders = [&](int intervalMs) {
    const std::string status = "HTTP/1.1 503 Service Unavailable\r\n";
    if (!sendAll(status.data(), status.size())) return;
    for (uint64_t n = 0; !Stopping(); ++n) {
      for (const int64_t until = NowMs() + intervalMs; NowMs() < until && !Stopping();) {
        char sink[256];
        if (WaitReadable(fd, kSliceMs) && ::recv(fd, sink, sizeof sink, 0) <= 0) return;
      }
      const std::string line = "X-Trickle-" + std::to_string(n) + ": waiting\r\n";
      if (!sendAll(line.data(), line.size())) return;
    }
  };
  auto sendEndlessBody = [&] {
    const std::string headers =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
    const std::string chunk = m_body.empty() ? std::string(16384, 'x') : m_body;
    if (!sendAll(headers.data(), headers.size())) return;
    while (sendAll(chunk.data(), chunk.size())) {
    }
  };

  std::string head;
  while (!Stopping() && head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxRequestBytes) {
    if (!WaitReadable(fd, kSliceMs)) continue;
    char buf[2048];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, static_cast<size_t>(n));
  }
  const HttpFault fault = m_script[std::min(number, m_script.size() - 1)];
  if (head.find("\r\n\r\n") != std::string::npos) {
    FaultRequest r{number, head.substr(0, head.find("\r\n")), HeaderValue(head, "range")};
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(r);
    }
    const uint64_t size = m_body.size();
    uint64_t first = 0, last = size ? size - 1 : 0;
    const bool ranged = !r.range.empty() && fault.kind != HttpFault::Kind::kIgnoreRange;
    std::ostringstream out;
    if (fault.kind == HttpFault::Kind::kNeverAnswer) {
      holdOpen();
    } else if (fault.kind == HttpFault::Kind::kTrickleHeaders) {
      trickleHeaders(fault.intervalMs);
    } else if (fault.kind == HttpFault::Kind::kEndlessBody) {
      sendEndlessBody();
    } else if (ranged && !ParseRange(r.range, size, &first, &last)) {
      out << "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" << size
          << "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      sendAll(out.str().data(), out.str().size());
    } else {
      const uint64_t count = size == 0 ? 0 : last - first + 1;
      int64_t announced = static_cast<int64_t>(count);
      if (fault.kind == HttpFault::Kind::kWrongLength)
        announced = std::max<int64_t>(0, announced + fault.lengthDelta);
      out << (ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n");
      if (ranged) out << "Content-Range: bytes " << first << "-" << last << "/" << size << "\r\n";
      out << "Content-Type: application/octet-stream\r\nAccept-Ranges: bytes\r\nContent-Length: "
          << announced << "\r\nConnection: close\r\n\r\n";
      const std::string headers = out.str();
      uint64_t sent = count;
      if (fault.kind == HttpFault::Kind::kCloseAfter || fault.kind == HttpFault::Kind::kStallAfter ||
          fault.kind == HttpFault::Kind::kTrickleAfter)
        sent = std::min(count, fault.bytes);
      auto waitMs = [&](int64_t ms) {
        for (const int64_t until = NowMs() + ms; NowMs() < until && !Stopping();)
          std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(kSliceMs, until - NowMs())));
      };
      auto sendBody = [&](const char* data, size_t size) {
        if (fault.kind != HttpFault::Kind::kFarAway || fault.bytesPerSecond == 0) return sendAll(data, size);
        // Paced in small chunks, counted as sending while it lasts.
        const size_t now = ++m_sending;
        for (size_t most = m_mostSending.load(); now > most && !m_mostSending.compare_exchange_weak(most, now);) {
        }
        const int64_t begin = NowMs();
        size_t done = 0;
        bool ok = true;
        while (ok && done < size && !Stopping()) {
          const size_t chunk = std::min<size_t>(size - done, 16 * 1024);
          ok = sendAll(data + done, chunk);
          done += chunk;
          waitMs(begin + static_cast<int64_t>(done * 1000 / fault.bytesPerSecond) - NowMs());
        }
        --m_sending;
        return ok && done == size;
      };
      if (fault.kind == HttpFault::Kind::kFarAway) waitMs(fault.intervalMs);
      if (sendAll(headers.data(), headers.size()) &&
          sendBody(m_body.data() + first, static_cast<size_t>(sent))) {
        if (fault.kind == HttpFault::Kind::kStallAfter) holdOpen();
        // The rest, one byte per interval, until the client gives up or the body is sent.
        for (uint64_t at = sent; fault.kind == HttpFault::Kind::kTrickleAfter && at < count; ++at) {
          for (const int64_t until = NowMs() + fault.intervalMs; NowMs() < until && !Stopping();)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(kSliceMs, until - NowMs())));
          if (Stopping() || !sendAll(m_body.data() + first + at, 1)) break;
        }
      }
    }
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

void FaultServer::DnsLoop() {
  while (!Stopping()) {
    if (!WaitReadable(m_listenFd, kSliceMs)) continue;
    uint8_t buf[4096];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(m_listenFd, buf, sizeof buf, 0,
                                 reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) continue;
    m_queries.fetch_add(1);
    const std::vector<UdpReply> replies = m_responder(std::vector<uint8_t>(buf, buf + n));
    for (const UdpReply& r : replies) {
      for (int64_t until = NowMs() + r.delayMs; NowMs() < until && !Stopping();)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<int64_t>(kSliceMs, until - NowMs())));
      if (Stopping()) return;
      ::sendto(m_listenFd, r.bytes.data(), r.bytes.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  }
}

}  // namespace vkqx_test
