// A command's own resolver: resolves one host name against public recursive resolvers, over UDP,
// on a short-lived worker thread, and posts one answer to the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "commonlib/thread/SimpleThread.h"

// code 0 with the addresses joined by ";", or -1 with an empty list when no server answered.
using DNSResultCallback = void (*)(int code, void* id, const std::string& domain, const std::string& ipList);

class CDNSThread : public CSimpleThread {
 public:
  CDNSThread() = default;
  ~CDNSThread() override;

  // Starts a resolution of `domain`, replacing one still running (whose answer then never comes).
  // False for a null id or a domain shorter than 3 bytes.
  bool Resolve(const std::string& domain, void* id, DNSResultCallback callback);

  // The resolvers asked, in order ("a.b.c.d" or "a.b.c.d:port"). By default the built-in public
  // resolvers; deployment settings and tests may replace them (an empty list restores them).
  static void SetServers(std::vector<std::string> servers);
  static std::vector<std::string> Servers();

 protected:
  void Run() override;

 private:
  // One resolution's inputs, shared with its thread: a thread left running after a timed-out stop
  // keeps its own copy (and its own stop flag) and never reads this object again.
  struct Job {
    std::string domain;
    void* id = nullptr;
    DNSResultCallback callback = nullptr;
    std::vector<std::string> servers;
  };

  std::shared_ptr<Job> TakeJob();

  DNSResultCallback callback = nullptr;
  std::string domain;
  void* id = nullptr;

  std::mutex m_jobLock;
  std::shared_ptr<Job> m_job;  // under m_jobLock
};
