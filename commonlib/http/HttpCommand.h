// A command: a small GET or POST on the command stack whose body is collected in memory and
// handed, with the outcome, to a completion function on the main thread. After a failure it
// climbs a ladder of fallbacks: the same address again, a spare URL, the host's addresses one by
// one, and once per request a fresh resolution of the host through public resolvers.
#pragma once

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
  bool Stop() override;
  void Done(int type, int code) override;
  void OnHeaders(int httpCode, const ProtoValue& headers) override;
  void OnDNSResult(const std::wstring& resolvedDomain, const std::wstring& ipList);

  // The resolver's answer, on the main thread; `id` is the command that asked.
  static void OnResolverAnswer(int code, void* id, const std::string& resolvedDomain, const std::string& ipList);

  static constexpr uint32_t kAttemptTimeoutMs = 20000;

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
  // Stop for a retry stage: the form is part of the request and goes out again.
  void StopKeepingForm();
  void DelayRetry();
  void PostCompletion(const std::string& outcomeBody, int type, int code);
  std::string SinkBytes();
  std::wstring CurrentIp();

  std::wstring m_emptyUrl;
};
