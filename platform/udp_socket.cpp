#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <utility>


namespace platform {

uint32_t WsaErrorFromErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

bool ParseIpv4(std::string_view text, uint32_t* address) {
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (text.empty() || text.front() != '.') return false;
      text.remove_prefix(1);
    }
    size_t digits = 0;
    while (digits < text.size() && digits < 4 && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 3) return false;
    unsigned octet = 0;
    std::from_chars(text.data(), text.data() + digits, octet);
    if (octet > 255) return false;
    value = (value << 8) | octet;
    text.remove_prefix(digits);
  }
  if (!text.empty()) return false;
  if (address) *address = value;
  return true;
}

std::string FormatIpv4(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

namespace {

sockaddr_in ToSockaddr(const Ipv4Endpoint& e) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(e.address);
  sa.sin_port = htons(e.port);
  return sa;
}

uint32_t LastSocketError() { return WsaErrorFromErrno(errno); }

}  // namespace

UdpSocket::~UdpSocket() { Close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

uint32_t UdpSocket::Open() {
  Close();
  m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return m_fd < 0 ? LastSocketError() : 0;
}

uint32_t UdpSocket::Bind(const Ipv4Endpoint& local) {
  if (m_fd < 0) return WSAENOTSOCK;
  sockaddr_in sa = ToSockaddr(local);
  return ::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 ? 0 : LastSocketError();
}

uint32_t UdpSocket::SendTo(const void* data, size_t size, const Ipv4Endpoint& to) {
  if (m_fd < 0) return WSAENOTSOCK;
  sockaddr_in sa = ToSockaddr(to);
  ssize_t n;
  do {
    n = ::sendto(m_fd, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? LastSocketError() : 0;
}

uint32_t UdpSocket::ReceiveFrom(void* buffer, size_t capacity, size_t* received, Ipv4Endpoint* from,
                                uint32_t timeoutMs) {
  if (received) *received = 0;
  if (m_fd < 0) return WSAENOTSOCK;
  // A signal may cut the wait short; the remaining time is waited again, never more.
  // The real clock, not the tick count: a test's controllable tick must not stretch a wait.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{m_fd, POLLIN, 0};
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const int wait = left <= 0 ? 0 : static_cast<int>(left);
    const int r = ::poll(&p, 1, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return LastSocketError();
    if (r == 0) return WSAETIMEDOUT;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const ssize_t n = ::recvfrom(m_fd, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&sa), &len);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return LastSocketError();
    if (from) *from = Ipv4Endpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
    if (static_cast<size_t>(n) > capacity) {
      if (received) *received = capacity;
      return WSAEMSGSIZE;
    }
    if (received) *received = static_cast<size_t>(n);
    return 0;
  }
}

void UdpSocket::Close() {
  if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
}

Ipv4Endpoint UdpSocket::LocalEndpoint() const {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (m_fd < 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return {};
  return Ipv4Endpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

}  // namespace platform
