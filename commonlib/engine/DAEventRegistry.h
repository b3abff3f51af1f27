// The engine's event path: a download source reports what happened to its request (block done,
// server address learned, redirect, retry, time to ask ahead) as an event with a ProtoValue map, and the registry
// hands it to every registered listener (the task queue) at once, on the main thread.
#pragma once

#include <vector>

#include "commonlib/core/ProtoValue.h"
#include "platform/messages.h"

// Event types; the numbers are fixed.
enum DAEventType : int {
  DA_EVENT_DONE = 5,      // "peer", "full_name"; et and ec are the outcome
  DA_EVENT_RESOLVED = 6,  // "peer", "full_name", "server_ip"
  DA_EVENT_REDIRECT = 7,  // "peer", "full_name", "log_name", "location"
  DA_EVENT_RETRY = 9,     // "peer", "full_name", "et", "ec", "times"
  DA_EVENT_AHEAD = 10,    // "peer", "full_name": the source's arriving block nears its end
};

class DAEventListener {
 public:
  virtual void OnEvent(int type, int et, int ec, const ProtoValue& map) = 0;

 protected:
  DAEventListener() = default;
  ~DAEventListener() = default;
};

// Process-wide, main thread only.
class DAEventRegistry {
 public:
  static DAEventRegistry* GetInstance();

  // Appends unless already registered.
  void AddListener(DAEventListener* listener);
  // Removes every entry equal to it.
  void RemoveListener(DAEventListener* listener);
  // Calls every listener registered when the call began, in registration order; a listener that
  // unregisters meanwhile does not disturb the walk.
  void Dispatch(int type, int et, int ec, const ProtoValue& map);
  size_t ListenerCount() const { return m_listeners.size(); }

  platform::UINT_PTR m_timerId = 0;  // the engine's one-second tick
  bool m_started = false;

 private:
  std::vector<DAEventListener*> m_listeners;
};
