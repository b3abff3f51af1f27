// A small server of our own, in-process on a loopback port, for what a real server will not do on
// purpose. HTTP mode: each connection takes the next step of a script (the last step repeats):
// serve the body correctly (200, or 206 for a single byte range), accept and never answer, close
// or stall after N body bytes, trickle the body one byte at a time after N bytes, announce a wrong
// Content-Length, or answer a Range request with the whole body and 200; or, as a hostile server
// would, trickle an error answer's header lines one at a time without end, or send a body without
// end. One request per connection. DNS mode: each datagram received is answered with the
// datagrams a test's function returns for it. Everything runs on the server's own threads, ends on
// Stop, and is bounded: at most 256 connections and ten minutes of life.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vkqx_test {

struct HttpFault {
  enum class Kind { kServe, kNeverAnswer, kCloseAfter, kStallAfter, kWrongLength, kIgnoreRange, kTrickleAfter,
                    kFarAway, kTrickleHeaders, kEndlessBody };
  Kind kind = Kind::kServe;
  uint64_t bytes = 0;       // kCloseAfter, kStallAfter: body bytes sent before the fault
  int64_t lengthDelta = 0;  // kWrongLength: announced length minus the true one
  int intervalMs = 0;       // kTrickleAfter: the wait before each further byte; kFarAway: before the answer;
                            // kTrickleHeaders: before each further header line
  uint64_t bytesPerSecond = 0;  // kFarAway: the pace of the body

  static HttpFault Serve() { return {}; }
  static HttpFault NeverAnswer() { return {Kind::kNeverAnswer}; }
  static HttpFault CloseAfter(uint64_t n) { return {Kind::kCloseAfter, n}; }
  static HttpFault StallAfter(uint64_t n) { return {Kind::kStallAfter, n}; }
  static HttpFault WrongLength(int64_t delta) { return {Kind::kWrongLength, 0, delta}; }
  static HttpFault IgnoreRange() { return {Kind::kIgnoreRange}; }
  static HttpFault TrickleAfter(uint64_t n, int intervalMs) { return {Kind::kTrickleAfter, n, 0, intervalMs}; }
  // Served correctly, as over a long round trip: the answer waits `latencyMs`, the body goes at
  // `bytesPerSecond`.
  static HttpFault FarAway(int latencyMs, uint64_t bytesPerSecond) {
    return {Kind::kFarAway, 0, 0, latencyMs, bytesPerSecond};
  }
  // "503" and then one more header line every intervalMs, never ending the header block.
  static HttpFault TrickleHeaders(int intervalMs) { return {Kind::kTrickleHeaders, 0, 0, intervalMs}; }
  // "200" without a length, then the body over and over until the client goes away.
  static HttpFault EndlessBody() { return {Kind::kEndlessBody}; }
};

// A script written as steps separated by ",": "serve", "never", "close:N", "stall:N",
// "wronglen:D" (D may be negative), "ignorerange", "trickleheaders:MS", "endless". False on anything else.
bool ParseHttpFaultScript(const std::string& text, std::vector<HttpFault>* script);

struct FaultRequest {
  size_t connection = 0;     // the connection's number, from 0
  std::string requestLine;   // "GET /file HTTP/1.1"
  std::string range;         // the Range header's value, empty when none
};

struct UdpReply {
  std::vector<uint8_t> bytes;
  int delayMs = 0;  // waited before this datagram is sent
};
// Returns the datagrams to send back, in order, for one query received.
using DnsResponder = std::function<std::vector<UdpReply>(const std::vector<uint8_t>& query)>;

class FaultServer {
 public:
  FaultServer() = default;
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  // Port 0 lets the system choose a free one. False when the socket cannot be set up.
  bool StartHttp(std::string body, std::vector<HttpFault> script,
                 const std::string& address = "127.0.0.1", uint16_t port = 0);
  bool StartDns(DnsResponder responder, const std::string& address = "127.0.0.1",
                uint16_t port = 0);
  void Stop();

  uint16_t port() const { return m_port; }
  const std::string& address() const { return m_address; }
  std::string Url(const std::string& path) const;

  std::vector<FaultRequest> Requests() const;
  size_t Connections() const { return m_connections.load(); }
  size_t DnsQueries() const { return m_queries.load(); }
  // Answers whose body is being sent now, and the most there were at one time.
  size_t SendingNow() const { return m_sending.load(); }
  size_t MostSendingAtOnce() const { return m_mostSending.load(); }

 private:
  bool Listen(int type, const std::string& address, uint16_t port);
  void AcceptLoop();
  void DnsLoop();
  void Serve(int fd, size_t number);
  bool Stopping() const;

  std::string m_address;
  uint16_t m_port = 0;
  int m_listenFd = -1;
  std::string m_body;
  std::vector<HttpFault> m_script;
  DnsResponder m_responder;
  std::atomic<bool> m_stop{false};
  std::atomic<size_t> m_connections{0};
  std::atomic<size_t> m_queries{0};
  std::atomic<size_t> m_sending{0};
  std::atomic<size_t> m_mostSending{0};
  int64_t m_deadlineMs = 0;
  std::thread m_thread;
  mutable std::mutex m_mutex;  // guards m_workers and m_requests
  std::vector<std::thread> m_workers;
  std::vector<FaultRequest> m_requests;
};

}  // namespace vkqx_test
