#include "commonlib/http/CurlListener.h"

#include <mutex>
#include <unordered_map>

namespace {

struct LiveListeners {
  std::mutex mutex;
  uint64_t lastSerial = 0;
  std::unordered_map<const CurlListener*, uint64_t> serials;
};

LiveListeners& Live() {
  static LiveListeners* live = new LiveListeners;  // never destroyed: listeners may outlive statics
  return *live;
}

uint64_t RegisterListener(const CurlListener* listener) {
  LiveListeners& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  const uint64_t serial = ++live.lastSerial;
  live.serials[listener] = serial;
  return serial;
}

}  // namespace

CurlListener::CurlListener() : m_serial(RegisterListener(this)) {}

CurlListener::~CurlListener() {
  LiveListeners& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  live.serials.erase(this);
}

bool CurlListener::IsAlive(const CurlListener* listener, uint64_t serial) {
  if (listener == nullptr) return false;
  LiveListeners& live = Live();
  std::lock_guard<std::mutex> guard(live.mutex);
  auto it = live.serials.find(listener);
  return it != live.serials.end() && it->second == serial;
}
