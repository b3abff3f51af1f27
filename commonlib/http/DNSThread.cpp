#include "commonlib/http/DNSThread.h"

#include <utility>

#include "commonlib/nettool/DnsClient.h"
#include "commonlib/thread/MainThreadTask.h"

namespace {

constexpr uint32_t kReplaceTimeoutMs = 500;

std::mutex g_serversLock;
std::vector<std::string>& ConfiguredServers() {
  static std::vector<std::string>* servers = new std::vector<std::string>;
  return *servers;
}

}  // namespace

void CDNSThread::SetServers(std::vector<std::string> servers) {
  std::lock_guard<std::mutex> guard(g_serversLock);
  ConfiguredServers() = std::move(servers);
}

std::vector<std::string> CDNSThread::Servers() {
  {
    std::lock_guard<std::mutex> guard(g_serversLock);
    if (!ConfiguredServers().empty()) return ConfiguredServers();
  }
  return BuiltInDnsResolvers();
}

CDNSThread::~CDNSThread() {
  DestroyThread(100);
  // A thread the stop abandoned (stuck in a query) read this object only up to taking its job,
  // under the lock: taking the lock here orders that before the object goes.
  std::lock_guard<std::mutex> guard(m_jobLock);
  m_job.reset();
}

bool CDNSThread::Resolve(const std::string& name, void* requester, DNSResultCallback resultCallback) {
  if (requester == nullptr || name.size() < 3) return false;
  DestroyThread(kReplaceTimeoutMs);
  id = requester;
  callback = resultCallback;
  domain = name;
  auto job = std::make_shared<Job>();
  job->domain = domain;
  job->id = id;
  job->callback = callback;
  job->servers = Servers();
  {
    std::lock_guard<std::mutex> guard(m_jobLock);
    m_job = std::move(job);
  }
  return StartThread();
}

std::shared_ptr<CDNSThread::Job> CDNSThread::TakeJob() {
  std::lock_guard<std::mutex> guard(m_jobLock);
  return m_job;
}

void CDNSThread::Run() {
  const std::shared_ptr<const CStopFlag> stop = StopFlag();
  const std::shared_ptr<Job> job = TakeJob();
  // A thread left behind by a timed-out stop may only get here after the next resolution has been
  // stored; its own flag is set, so it never does that one's work.
  if (!job || stop->IsSet()) return;
  std::vector<std::string> addresses;
  bool answered = false;
  {
    CDnsClient client;
    for (const std::string& server : job->servers) {
      if (stop->IsSet() || answered) break;
      int responseTimeMs = 0;
      answered = QueryAddresses(job->domain.c_str(), responseTimeMs, addresses, &client, server.c_str()) == 1;
    }
  }
  if (stop->IsSet()) return;
  if (answered) {
    PostMainThreadTask(job->callback, 0, job->id, job->domain, JoinAddresses(addresses));
  } else {
    PostMainThreadTask(job->callback, -1, job->id, job->domain, std::string());
  }
}
