#include "commonlib/http/CurlWorkshop.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "commonlib/http/CurlEvents.h"
#include "commonlib/logger/Log.h"

namespace {

// The handle's value as the log lines show it: its low 32 bits.
uint32_t HandleValue(const void* handle) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

template <typename List>
bool EraseByEasy(List& list, CURL* easy) {
  if (easy == nullptr) return false;
  auto it = std::find_if(list.begin(), list.end(), [easy](const auto& t) { return t->easy == easy; });
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

void FreeEasy(CURLM* multi, CCurlBase* transfer) {
  if (transfer->easy == nullptr) return;
  curl_multi_remove_handle(multi, transfer->easy);  // harmless for a handle never added
  curl_easy_cleanup(transfer->easy);
  transfer->easy = nullptr;
}

}  // namespace

CCurlWorkshop::CCurlWorkshop() = default;

CCurlWorkshop::~CCurlWorkshop() {
  if (multi != nullptr) {
    curl_multi_cleanup(multi);
    multi = nullptr;
  }
}

void CCurlWorkshop::Init() {
  CAutoLock guard(&lock);
  if (multi != nullptr) return;
  multi = curl_multi_init();
  LOGI(L"CCurlWorkshop::Init() %x", HandleValue(multi));
}

void CCurlWorkshop::UnInit() {
  CAutoLock guard(&lock);
  LOGI(L"CCurlWorkshop::UnInit() %x", HandleValue(multi));
  if (multi != nullptr) {
    for (auto& transfer : running) FreeEasy(multi, transfer.get());
    curl_multi_cleanup(multi);
    multi = nullptr;
  }
  pendingRemove.clear();
  pendingAdd.clear();
  running.clear();
}

bool CCurlWorkshop::AddTransfer(const CRefPtr<CCurlBase>& transfer) {
  CAutoLock guard(&lock);
  if (multi == nullptr || !transfer) return false;
  pendingAdd.push_back(transfer);
  auto it = std::find_if(pendingRemove.begin(), pendingRemove.end(),
                         [&transfer](const auto& t) { return t.get() == transfer.get(); });
  if (it != pendingRemove.end()) pendingRemove.erase(it);
  curl_multi_wakeup(multi);
  return true;
}

bool CCurlWorkshop::RemoveTransfer(const CRefPtr<CCurlBase>& transfer) {
  CAutoLock guard(&lock);
  if (multi == nullptr || !transfer) return false;
  pendingRemove.push_back(transfer);
  curl_multi_wakeup(multi);
  return true;
}

void CCurlWorkshop::OnStopRequested() {
  // The flag is set before the wake-up: a loop woken earlier would check it, find it unset and
  // wait again for up to kIdleWaitMs.
  Wake();
}

void CCurlWorkshop::Wake() {
  CAutoLock guard(&lock);
  if (multi != nullptr) curl_multi_wakeup(multi);
}

bool CCurlWorkshop::StopRequested() const { return IsStopRequested(); }

void CCurlWorkshop::Run() {
  while (!StopRequested()) {
    PerformStep();
    CompletionStep();
    // No extra sleep: the wait inside the perform step already bounds an idle loop to one pass per
    // kMaxWaitMs, and AddTransfer, RemoveTransfer and DestroyThread cut that wait short.
  }
}

bool CCurlWorkshop::PerformStep() {
  if (StopRequested()) return false;
  QueueStep();
  WaitForActivity();
  bool anyRunning = false;
  CURLMcode rc;
  do {
    int runningHandles = 0;
    rc = curl_multi_perform(multi, &runningHandles);
    if (runningHandles > 0) anyRunning = true;
  } while (rc == CURLM_CALL_MULTI_PERFORM);
  return anyRunning;
}

void CCurlWorkshop::WaitForActivity() {
  // curl shortens the wait to its own next timeout; a wake-up from another thread ends it at once.
  // With nothing to drive the thread sleeps until it is woken (AddTransfer, DestroyThread), so an
  // idle workshop costs no wake-ups; kIdleWaitMs only bounds the wait should a wake-up be missed.
  bool idle = false;
  {
    CAutoLock guard(&lock);
    idle = running.empty() && pendingAdd.empty() && pendingRemove.empty();
  }
  curl_multi_poll(multi, nullptr, 0, idle ? kIdleWaitMs : kMaxWaitMs, nullptr);
}

void CCurlWorkshop::QueueStep() {
  std::vector<CRefPtr<CCurlBase>> removed;
  std::vector<CRefPtr<CCurlBase>> added;
  {
    CAutoLock guard(&lock);
    for (auto& transfer : pendingAdd)
      if (!transfer->active) pendingRemove.push_back(transfer);
    for (auto& transfer : running)
      if (!transfer->active) pendingRemove.push_back(transfer);

    for (size_t n = pendingRemove.size(); n > 0; --n) {
      CRefPtr<CCurlBase> transfer = pendingRemove.front();
      pendingRemove.pop_front();
      // A transfer both deactivated and removed is queued twice; it is retired once.
      const bool alreadyRetired = std::any_of(retired.begin(), retired.end(),
                                              [&](const auto& t) { return t.get() == transfer.get(); });
      if (alreadyRetired) continue;
      retired.push_back(transfer);
      if (!EraseByEasy(running, transfer->easy)) EraseByEasy(pendingAdd, transfer->easy);
      removed.push_back(transfer);
    }

    for (size_t n = pendingAdd.size(); n > 0; --n) {
      CRefPtr<CCurlBase> transfer = pendingAdd.front();
      pendingAdd.pop_front();
      if (transfer->easy != nullptr && curl_multi_add_handle(multi, transfer->easy) == CURLM_OK) {
        running.push_back(transfer);
        added.push_back(transfer);
      }
    }
  }
  // Retired handles are freed before their removal is announced: once the main thread hears of
  // the removal, the workshop no longer touches the transfer.
  for (auto& transfer : retired) FreeEasy(multi, transfer.get());
  retired.clear();

  // Events are queued for the main thread outside the list lock, in the order they happened.
  for (auto& transfer : removed) PostTransferRemoved(transfer);
  for (auto& transfer : added) PostTransferAdded(transfer);
}

int CCurlWorkshop::CompletionStep() {
  int finished = 0;
  while (!StopRequested()) {
    int queued = 0;
    CURLMsg* message = curl_multi_info_read(multi, &queued);
    if (message == nullptr) break;
    if (message->msg != CURLMSG_DONE) continue;
    CURL* const easy = message->easy_handle;
    const int result = static_cast<int>(message->data.result);

    CRefPtr<CCurlBase> transfer;
    {
      CAutoLock guard(&lock);
      auto it = std::find_if(running.begin(), running.end(), [easy](const auto& t) { return t->easy == easy; });
      if (it != running.end()) transfer = *it;
    }
    if (!transfer) continue;
    PostTransferDone(transfer, result);
    {
      CAutoLock guard(&lock);
      if (!EraseByEasy(running, easy)) EraseByEasy(pendingAdd, easy);
    }
    FreeEasy(multi, transfer.get());
    ++finished;
  }
  return finished;
}
