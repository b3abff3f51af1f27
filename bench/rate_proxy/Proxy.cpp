#include "bench/rate_proxy/Proxy.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace bench {
namespace {

constexpr size_t kReadSize = 64 << 10;
constexpr size_t kWriteSlice = 16 << 10;  // per direction and pass, so connections share a bucket fairly
constexpr size_t kMinWrite = 16 << 10;    // below this a limited direction waits for more tokens
constexpr int kReadsPerEvent = 4;

void SetNoDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

Proxy::Proxy(const ProxyOptions& options) : options_(options) {
  // Enough for the bytes in flight over the added delay at the full rate, with room to spare.
  uint64_t inFlight = options_.rateBytesPerSecond * options_.delayMs / 1000;
  queueCap_ = options_.rateBytesPerSecond == 0 ? (8u << 20) : std::max<size_t>(1u << 20, 2 * inFlight);
}

Proxy::~Proxy() {
  for (auto& connection : connections_) {
    if (connection->client.fd >= 0) close(connection->client.fd);
    if (connection->server.fd >= 0) close(connection->server.fd);
  }
  for (auto& listener : listeners_) {
    if (listener->fd >= 0) close(listener->fd);
  }
  if (signal_ >= 0) close(signal_);
  if (epoll_ >= 0) close(epoll_);
}

bool Proxy::Open(std::string* error) {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) { *error = Errno("epoll_create1"); return false; }

  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGHUP);
  sigprocmask(SIG_BLOCK, &mask, nullptr);
  signal_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
  if (signal_ < 0) { *error = Errno("signalfd"); return false; }
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.ptr = &signalWatch_;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, signal_, &event);

  for (const ListenSpec& spec : options_.listens) {
    auto listener = std::make_unique<Listener>(spec, options_.rateBytesPerSecond, options_.burstBytes);
    listener->fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener->fd < 0) { *error = Errno("socket"); return false; }
    int one = 1;
    setsockopt(listener->fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(listener->fd, reinterpret_cast<const sockaddr*>(&spec.listen), sizeof spec.listen) != 0) {
      *error = Errno(("bind " + EndpointText(spec.listen)).c_str());
      return false;
    }
    if (listen(listener->fd, 64) != 0) { *error = Errno("listen"); return false; }
    event.events = EPOLLIN;
    event.data.ptr = static_cast<Watch*>(listener.get());
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listener->fd, &event);
    listeners_.push_back(std::move(listener));
  }
  return true;
}

int Proxy::Run() {
  std::printf("ready\n");
  std::fflush(stdout);
  const auto endAt = SteadyClock::now() + std::chrono::seconds(options_.maxSeconds);
  epoll_event events[64];
  while (!stopping_) {
    auto now = SteadyClock::now();
    if (now >= endAt) {
      std::fprintf(stderr, "rate_proxy: maximum run time of %u s reached, stopping\n", options_.maxSeconds);
      break;
    }
    auto wait = NextDeadline(now, std::min(endAt, now + std::chrono::seconds(1))) - now;
    auto ns = std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
    timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    int count = epoll_pwait2(epoll_, events, 64, &timeout, nullptr);
    if (count < 0) {
      if (errno == EINTR) continue;
      std::perror("rate_proxy: epoll_pwait2");
      return 1;
    }
    for (int i = 0; i < count; ++i) {
      auto* watch = static_cast<Watch*>(events[i].data.ptr);
      switch (watch->kind) {
        case Watch::Kind::kSignal: stopping_ = true; break;
        case Watch::Kind::kListener: AcceptAll(static_cast<Listener*>(watch)); break;
        case Watch::Kind::kEndpoint: OnEndpointEvent(static_cast<Endpoint*>(watch), events[i].events); break;
      }
    }
    PumpAll(SteadyClock::now());
    ReapConnections();
    UpdateAllInterest();
  }
  PrintStats();
  return 0;
}

void Proxy::AcceptAll(Listener* listener) {
  for (;;) {
    int client = accept4(listener->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
        std::perror("rate_proxy: accept4");
      }
      return;
    }
    int server = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (server < 0) {
      std::perror("rate_proxy: socket");
      close(client);
      continue;
    }
    SetNoDelay(client);
    SetNoDelay(server);
    const sockaddr_in& up = listener->spec.upstream;
    if (connect(server, reinterpret_cast<const sockaddr*>(&up), sizeof up) != 0 && errno != EINPROGRESS) {
      std::fprintf(stderr, "rate_proxy: connect %s: %s\n", EndpointText(up).c_str(), std::strerror(errno));
      close(server);
      close(client);
      continue;
    }
    auto connection = std::make_unique<Connection>();
    Connection* c = connection.get();
    c->listener = listener;
    // The handshake with us is instant, but over the delayed link it would have taken one round
    // trip: the client's first bytes leave only after it, so a new connection costs what it should.
    c->handshakeDoneAt = SteadyClock::now() + 2 * std::chrono::milliseconds(options_.delayMs);
    c->client.connection = c;
    c->client.fd = client;
    c->server.connection = c;
    c->server.fd = server;
    c->up = Direction{&c->client, &c->server, {}, &listener->upBucket, &listener->bytesUp, false, false};
    c->down = Direction{&c->server, &c->client, {}, &listener->downBucket, &listener->bytesDown, false, false};
    ++listener->connections;
    listener->peakOpen = std::max(listener->peakOpen, ++listener->open);
    connections_.push_back(std::move(connection));
    UpdateInterest(&c->client, EPOLLIN);
    UpdateInterest(&c->server, EPOLLIN | EPOLLOUT);
  }
}

void Proxy::OnEndpointEvent(Endpoint* endpoint, uint32_t events) {
  Connection* c = endpoint->connection;
  if (c->dead) return;
  auto now = SteadyClock::now();
  if (endpoint == &c->server && c->connecting) {
    if (!(events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) return;
    FinishConnect(c);
    return;
  }
  Direction* reading = endpoint == &c->client ? &c->up : &c->down;
  Direction* writing = endpoint == &c->client ? &c->down : &c->up;
  if (events & EPOLLOUT) endpoint->writeBlocked = false;
  if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadInto(reading, now);
  if (c->dead) return;
  if ((events & (EPOLLHUP | EPOLLERR)) && reading->readDone) {
    // The peer is gone in both directions: nothing more can be delivered to it, and its hang-up
    // would wake the loop forever, so it leaves the poll set.
    writing->finished = true;
    Forget(endpoint);
  }
}

void Proxy::FinishConnect(Connection* c) {
  int error = 0;
  socklen_t length = sizeof error;
  getsockopt(c->server.fd, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error != 0) {
    std::fprintf(stderr, "rate_proxy: connect %s: %s\n", EndpointText(c->listener->spec.upstream).c_str(),
                 std::strerror(error));
    c->dead = true;
    return;
  }
  c->connecting = false;
}

void Proxy::ReadInto(Direction* direction, SteadyClock::time_point now) {
  if (direction->readDone) return;
  Connection* c = direction->from->connection;
  auto sent = direction == &c->up ? std::max(now, c->handshakeDoneAt) : now;
  const auto due = sent + std::chrono::milliseconds(options_.delayMs);
  char buffer[kReadSize];
  for (int i = 0; i < kReadsPerEvent && direction->queue.QueuedBytes() < queueCap_; ++i) {
    ssize_t n = recv(direction->from->fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      direction->queue.PushData(buffer, static_cast<size_t>(n), due);
      continue;
    }
    if (n == 0) {
      direction->queue.PushEnd(due);
      direction->readDone = true;
      return;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    c->dead = true;  // reset by the peer: drop the whole connection
    return;
  }
}

// Writes at most one slice of due bytes; returns whether anything moved.
bool Proxy::PumpOnce(Direction* d, SteadyClock::time_point now) {
  Connection* c = d->from->connection;
  if (d->finished || c->dead || d->to->writeBlocked || c->connecting) return false;
  SteadyClock::time_point due;
  if (!d->queue.FrontDue(now, &due)) return false;
  if (d->queue.FrontIsEnd()) {
    shutdown(d->to->fd, SHUT_WR);
    d->queue.PopEnd();
    d->finished = true;
    return true;
  }
  size_t want = std::min(d->queue.FrontSize(), kWriteSlice);
  size_t allowed = d->bucket->Available(now, want);
  if (allowed < std::min(want, kMinWrite)) return false;
  ssize_t n = send(d->to->fd, d->queue.FrontData(), allowed, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n > 0) {
    d->queue.ConsumeFront(static_cast<size_t>(n));
    d->bucket->Consume(static_cast<size_t>(n));
    *d->counter += static_cast<uint64_t>(n);
    return true;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
    d->to->writeBlocked = true;
  } else if (!(n < 0 && errno == EINTR)) {
    c->dead = true;
  }
  return false;
}

// Tells every bucket whether bytes are waiting for it and since when: the earliest due time of
// the due bytes of its listen address's connections.
void Proxy::NoteBacklogs(SteadyClock::time_point now) {
  for (auto& listener : listeners_) {
    for (bool up : {true, false}) {
      bool waiting = false;
      SteadyClock::time_point since = now;
      for (auto& c : connections_) {
        if (c->listener != listener.get() || c->dead || c->connecting) continue;
        Direction* d = up ? &c->up : &c->down;
        SteadyClock::time_point due;
        if (d->finished || !d->queue.FrontDue(now, &due) || d->queue.FrontIsEnd()) continue;
        waiting = true;
        since = std::min(since, due);
      }
      (up ? listener->upBucket : listener->downBucket).NoteBacklog(now, waiting, since);
    }
  }
}

void Proxy::PumpAll(SteadyClock::time_point now) {
  NoteBacklogs(now);
  // Start with a different connection each time so no connection always drains a bucket first.
  if (connections_.size() > 1) connections_.splice(connections_.end(), connections_, connections_.begin());
  bool moved = true;
  for (int pass = 0; moved && pass < 256; ++pass) {
    moved = false;
    for (auto& connection : connections_) {
      moved |= PumpOnce(&connection->up, now);
      moved |= PumpOnce(&connection->down, now);
    }
  }
}

SteadyClock::time_point Proxy::NextDeadline(SteadyClock::time_point now, SteadyClock::time_point limit) {
  SteadyClock::time_point next = limit;
  for (auto& c : connections_) {
    for (Direction* d : {&c->up, &c->down}) {
      if (d->finished || c->dead || d->to->writeBlocked || c->connecting || d->queue.Empty()) continue;
      SteadyClock::time_point due;
      if (!d->queue.FrontDue(now, &due)) {
        next = std::min(next, due);
      } else if (!d->queue.FrontIsEnd()) {
        next = std::min(next, d->bucket->ReadyAt(now, std::min(d->queue.FrontSize(), kMinWrite)));
      } else {
        next = now;
      }
    }
  }
  return next;
}

// An endpoint is in the poll set only while it has something to wait for, so a peer's hang-up
// cannot wake the loop while its queue is full and nothing can be done about it.
void Proxy::UpdateInterest(Endpoint* endpoint, uint32_t wanted) {
  if (endpoint->fd < 0 || endpoint->gone) return;
  if (wanted == 0) {
    if (endpoint->registered) epoll_ctl(epoll_, EPOLL_CTL_DEL, endpoint->fd, nullptr);
    endpoint->registered = false;
    return;
  }
  if (endpoint->registered && endpoint->interest == wanted) return;
  epoll_event event{};
  event.events = wanted;
  event.data.ptr = static_cast<Watch*>(endpoint);
  epoll_ctl(epoll_, endpoint->registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, endpoint->fd, &event);
  endpoint->registered = true;
  endpoint->interest = wanted;
}

void Proxy::UpdateAllInterest() {
  for (auto& c : connections_) {
    uint32_t client = 0;
    uint32_t server = 0;
    if (!c->up.readDone && c->up.queue.QueuedBytes() < queueCap_) client |= EPOLLIN;
    if (!c->down.readDone && c->down.queue.QueuedBytes() < queueCap_) server |= EPOLLIN;
    if (c->client.writeBlocked) client |= EPOLLOUT;
    if (c->connecting || c->server.writeBlocked) server |= EPOLLOUT;
    UpdateInterest(&c->client, client);
    UpdateInterest(&c->server, server);
  }
}

void Proxy::Forget(Endpoint* endpoint) {
  if (endpoint->registered) epoll_ctl(epoll_, EPOLL_CTL_DEL, endpoint->fd, nullptr);
  endpoint->registered = false;
  endpoint->writeBlocked = false;
  endpoint->gone = true;
}

void Proxy::ReapConnections() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    Connection* c = it->get();
    if (!c->dead && !(c->up.finished && c->down.finished)) {
      ++it;
      continue;
    }
    Forget(&c->client);
    Forget(&c->server);
    close(c->client.fd);
    close(c->server.fd);
    c->client.fd = -1;
    c->server.fd = -1;
    --c->listener->open;
    it = connections_.erase(it);
  }
}

void Proxy::PrintStats() {
  for (auto& listener : listeners_) {
    std::fprintf(stderr,
                 "rate_proxy: %s -> %s: %llu connections, at most %llu at a time, %llu bytes up, %llu bytes down\n",
                 EndpointText(listener->spec.listen).c_str(), EndpointText(listener->spec.upstream).c_str(),
                 static_cast<unsigned long long>(listener->connections),
                 static_cast<unsigned long long>(listener->peakOpen),
                 static_cast<unsigned long long>(listener->bytesUp),
                 static_cast<unsigned long long>(listener->bytesDown));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "rate_proxy: cpu %.3f s user, %.3f s system\n",
               static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
               static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6);
}

}  // namespace bench
