// A command: a small GET or POST on the command stack whose body is collected in memory and
// handed, with the outcome, to a completion function on the main thread. After a failure it
// climbs a ladder of fallbacks: the same address again, a spare URL, the host's addresses one by
// one, and once per request a fresh resolution of the host through public resolvers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "commonlib/http/DNSThread.h"
#include "commonlib/http/HttpBase.h"

// Called on the main thread with the final outcome and the body exactly as received.
using CommandCompletion = void (*)(void* userData, const std::string& body, int type, int code);

class CHttpCommand : public CHttpBase {
 public:
  // Binds the command to the command stack, which must have been started.
  CHttpCommand();
  ~CHttpCommand() override;

  // False when the command is already started or has no URL; true once handed to the manager.
  // A command waiting for a slot can be given a spare URL by a second call.
  bool Get(const std::wstring& url, void* userData, CommandCompletion onDone);
  // A POST of `body` (sent as it is); an empty body with form fields posts the form.
  bool Post(const std::string& postBody, const std::wstring& url, CommandCompletion onDone,
            void* userData = nullptr);

  const std::wstring& GetUrl() override;
  bool Prepare() override;
  HttpOutcome Start() override;
  // Ends the request from outside: the attempt is abandoned, the resolver stopped, nothing is
  // posted, and the ladder's state (URLs, addresses, pin, counts) is dropped, so the next Get or
  // Post starts afresh and no answer meant for this request ever reaches it.
  bool Stop() override;
  void Done(int type, int code) override;
  void OnHeaders(int httpCode, const ProtoValue& headers) override;
  void OnDNSResult(const std::wstring& resolvedDomain, const std::wstring& ipList);

  // The resolver's answer, on the main thread; `id` names the request that asked (ResolverId).
  static void OnResolverAnswer(int code, void* id, const std::string& resolvedDomain, const std::string& ipList);
  // The id the current request gives its resolver: a number of its own, never the command's
  // address, and a new one once the request has ended, so a queued answer finds only the request
  // that asked for it.
  void* ResolverId() const;

  static constexpr uint32_t kAttemptTimeoutMs = 20000;
  // An attempt ends after this long whatever the server keeps sending. The descriptor and the
  // statistics exchange are a few hundred bytes to a few kilobytes, one round trip; even a body
  // at the full kDefaultMaxBodyBytes arrives in time at about 9 kB/s. Only a server that keeps the
  // attempt alive without finishing it (headers one by one) is cut.
  static constexpr uint32_t kMaxAttemptMs = 120000;
  // The most a response body may hold: the descriptor is a few hundred bytes, the statistics
  // answer is not read; a megabyte leaves room for any real answer.
  static constexpr size_t kDefaultMaxBodyBytes = 1024 * 1024;

  // Per request: past this many body bytes the transfer ends with a write error and the
  // request with (3, kUserBodyTooLarge).
  size_t maxBodyBytes = kDefaultMaxBodyBytes;

  CommandCompletion completion = nullptr;
  void* userData = nullptr;
  std::string body;
  std::vector<std::wstring> urls;
  std::wstring domainUrl;
  std::vector<std::wstring> ips;
  bool ipListActive = false;
  CDNSThread dnsThread;

 private:
  bool Submit(const std::wstring& url, void* data, CommandCompletion onDone);
  bool Resubmit();
  // Abandons the attempt only: the request goes on (a retry stage, the final step).
  void StopAttempt();
  // Stop for a retry stage: the form is part of the request and goes out again.
  void StopKeepingForm();
  // The request is over: its ladder state goes and it takes a new resolver id.
  void EndRequest();
  void NewRequestToken();
  void DelayRetry();
  void PostCompletion(const std::string& outcomeBody, int type, int code);
  std::string SinkBytes();
  std::wstring CurrentIp();

  std::wstring m_emptyUrl;
  uintptr_t m_requestToken = 0;
  // The address whose pin a redirect dropped in the address-list stage: the next attempt on it
  // goes unpinned, as after any redirect; the next address is pinned again.
  std::wstring m_unpinnedIp;
};
