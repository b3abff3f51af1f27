#include "commonlib/engine/DAEventRegistry.h"

#include <algorithm>

DAEventRegistry* DAEventRegistry::GetInstance() {
  static DAEventRegistry registry;
  return &registry;
}

void DAEventRegistry::AddListener(DAEventListener* listener) {
  if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
    m_listeners.push_back(listener);
}

void DAEventRegistry::RemoveListener(DAEventListener* listener) {
  std::erase(m_listeners, listener);
}

void DAEventRegistry::Dispatch(int type, int et, int ec, const ProtoValue& map) {
  const std::vector<DAEventListener*> listeners = m_listeners;
  for (DAEventListener* listener : listeners) listener->OnEvent(type, et, ec, map);
}
