// The proxy's event loop: accepts on every listen address, connects each client to its upstream
// and forwards both directions through a delay queue and the listen address's token buckets.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "bench/rate_proxy/DelayQueue.h"
#include "bench/rate_proxy/ProxyOptions.h"
#include "bench/rate_proxy/TokenBucket.h"

namespace bench {

class Proxy {
 public:
  explicit Proxy(const ProxyOptions& options);
  ~Proxy();
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  // Binds every listen address and prepares the loop; false with a message on failure.
  bool Open(std::string* error);

  // Runs until a stop signal or the maximum run time; returns the process exit code.
  int Run();

 private:
  struct Watch {
    enum class Kind { kListener, kSignal, kEndpoint };
    explicit Watch(Kind k) : kind(k) {}
    Kind kind;
  };
  struct Listener;
  struct Connection;
  struct Endpoint : Watch {
    Endpoint() : Watch(Kind::kEndpoint) {}
    Connection* connection = nullptr;
    int fd = -1;
    uint32_t interest = 0;
    bool registered = false;
    bool writeBlocked = false;
    bool gone = false;  // the peer hung up after its last byte was read: never polled again
  };
  struct Direction {
    Endpoint* from = nullptr;
    Endpoint* to = nullptr;
    DelayQueue queue;
    TokenBucket* bucket = nullptr;
    uint64_t* counter = nullptr;
    bool readDone = false;  // the source has ended its stream (or can no longer be read)
    bool finished = false;  // the end was passed on, or the destination is gone
  };
  struct Connection {
    Listener* listener = nullptr;
    Endpoint client;
    Endpoint server;
    Direction up;    // client to upstream
    Direction down;  // upstream to client
    SteadyClock::time_point handshakeDoneAt;  // when the client's connect would have completed
    bool connecting = true;
    bool dead = false;
  };
  struct Listener : Watch {
    Listener(const ListenSpec& s, uint64_t rate, uint64_t burst)
        : Watch(Kind::kListener), spec(s), upBucket(rate, burst), downBucket(rate, burst) {}
    ListenSpec spec;
    int fd = -1;
    TokenBucket upBucket;
    TokenBucket downBucket;
    uint64_t bytesUp = 0;
    uint64_t bytesDown = 0;
    uint64_t connections = 0;
    uint64_t open = 0;      // connections open now
    uint64_t peakOpen = 0;  // the most open at one time
  };

  void AcceptAll(Listener* listener);
  void OnEndpointEvent(Endpoint* endpoint, uint32_t events);
  void FinishConnect(Connection* connection);
  void ReadInto(Direction* direction, SteadyClock::time_point now);
  bool PumpOnce(Direction* direction, SteadyClock::time_point now);
  void NoteBacklogs(SteadyClock::time_point now);
  void PumpAll(SteadyClock::time_point now);
  SteadyClock::time_point NextDeadline(SteadyClock::time_point now, SteadyClock::time_point limit);
  void UpdateInterest(Endpoint* endpoint, uint32_t wanted);
  void UpdateAllInterest();
  void Forget(Endpoint* endpoint);
  void ReapConnections();
  void PrintStats();

  ProxyOptions options_;
  size_t queueCap_;
  int epoll_ = -1;
  int signal_ = -1;
  Watch signalWatch_{Watch::Kind::kSignal};
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::list<std::unique_ptr<Connection>> connections_;
  bool stopping_ = false;
};

}  // namespace bench
