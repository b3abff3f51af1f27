#include "commonlib/http/CurlListener.h"

#include <mutex>
#include <unordered_set>

namespace {

struct LiveListeners {
  std::mutex mutex;
  std::unordered_set<const CurlListener*> set;
};

LiveListeners& Live() {
  static LiveListeners* live = new LiveListeners;  // never destroyed: listeners may outlive statics
  return *live;
}

}  // namespace

CurlListener::CurlListener() {
  LiveListeners& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  live.set.insert(this);
}

CurlListener::~CurlListener() {
  LiveListeners& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  live.set.erase(this);
}

bool CurlListener::IsAlive(const CurlListener* listener) {
  if (listener == nullptr) return false;
  LiveListeners& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  return live.set.count(listener) != 0;
}
