#include "commonlib/nettool/NetToolTask.h"

#include <utility>

#include "commonlib/thread/MainThreadTask.h"

CNetToolTask::CNetToolTask(std::string host, NetToolCallback callback, void* user)
    : m_host(std::move(host)), m_callback(callback), m_user(user) {}

void CNetToolTask::PostResult(int code, const std::string& text) const {
  if (m_callback == nullptr) return;
  PostMainThreadTask(m_callback, code, m_user, m_host, text);
}
