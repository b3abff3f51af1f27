// A small IPv4 UDP socket with Windows socket semantics: failures are Windows socket error numbers
// (the WSAE* values), a receive waits a bounded time, and a datagram larger than the buffer is
// reported as WSAEMSGSIZE with the buffer holding its first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

inline constexpr uint32_t WSAEINTR = 10004;
inline constexpr uint32_t WSAEBADF = 10009;
inline constexpr uint32_t WSAEACCES = 10013;
inline constexpr uint32_t WSAEFAULT = 10014;
inline constexpr uint32_t WSAEINVAL = 10022;
inline constexpr uint32_t WSAEMFILE = 10024;
inline constexpr uint32_t WSAEWOULDBLOCK = 10035;
inline constexpr uint32_t WSAENOTSOCK = 10038;
inline constexpr uint32_t WSAEMSGSIZE = 10040;
inline constexpr uint32_t WSAEAFNOSUPPORT = 10047;
inline constexpr uint32_t WSAEADDRINUSE = 10048;
inline constexpr uint32_t WSAEADDRNOTAVAIL = 10049;
inline constexpr uint32_t WSAENETDOWN = 10050;
inline constexpr uint32_t WSAENETUNREACH = 10051;
inline constexpr uint32_t WSAENOBUFS = 10055;
inline constexpr uint32_t WSAETIMEDOUT = 10060;
inline constexpr uint32_t WSAECONNREFUSED = 10061;
inline constexpr uint32_t WSAEHOSTUNREACH = 10065;

// The Windows socket error number for a POSIX errno value of a socket call.
uint32_t WsaErrorFromErrno(int errnoValue);

// An IPv4 address and port, both in host byte order.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
  bool operator==(const Ipv4Endpoint&) const = default;
};

// Strict dotted-decimal IPv4 ("a.b.c.d", each part 0..255, no spaces, no other forms).
bool ParseIpv4(std::string_view text, uint32_t* address);
// "a.b.c.d"
std::string FormatIpv4(uint32_t address);

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // Each returns 0 or a Windows socket error number.
  uint32_t Open();
  uint32_t Bind(const Ipv4Endpoint& local);
  uint32_t SendTo(const void* data, size_t size, const Ipv4Endpoint& to);
  // Waits at most timeoutMs for one datagram and takes it: 0 with *received set, WSAETIMEDOUT
  // when none came, WSAEMSGSIZE when it was longer than capacity (the first bytes are kept).
  uint32_t ReceiveFrom(void* buffer, size_t capacity, size_t* received, Ipv4Endpoint* from,
                       uint32_t timeoutMs);
  void Close();

  bool IsOpen() const { return m_fd >= 0; }
  // The local address after Open/Bind (the port the system chose for an unbound socket).
  Ipv4Endpoint LocalEndpoint() const;

 private:
  int m_fd = -1;
};

}  // namespace platform
