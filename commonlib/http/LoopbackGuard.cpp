#include "commonlib/http/LoopbackGuard.h"

#include <string>

#include "commonlib/logger/Log.h"
#include "platform/loopback_only.h"

namespace {

// Runs on the workshop thread for every connection curl is about to open; installed only while the
// net is on.
curl_socket_t OpenLoopbackSocket(void*, curlsocktype purpose, struct curl_sockaddr* address) {
  std::string text;
  if (!platform::IsLoopbackSocketAddress(&address->addr, address->addrlen, &text)) {
    LOGW(L"CurlTransfer 仅限本机(VKQX_LOOPBACK_ONLY): 拒绝连接 %s", text);
    return CURL_SOCKET_BAD;
  }
  (void)purpose;
  return platform::OpenTransportSocket(address->family, address->socktype, address->protocol);
}

}  // namespace

void ApplyLoopbackGuard(CURL* easy) {
  if (!platform::LoopbackOnly()) return;
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &OpenLoopbackSocket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, nullptr);
  if (curl_easy_setopt(easy, CURLOPT_DOH_URL, "http://127.0.0.1:0/dns-query") != CURLE_OK)
    LOGW(L"CurlTransfer 仅限本机: 无法关闭系统域名解析");
}
