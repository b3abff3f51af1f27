#include "commonlib/peer/CurlDownloadHttp.h"

#include "commonlib/http/HttpHeaderLine.h"
#include "commonlib/peer/VKFileIO.h"

CVKDownloadFileIO* CCurlDownloadHttp::Writer() const { return static_cast<CVKDownloadFileIO*>(sink.get()); }

size_t CCurlDownloadHttp::OnRecieveHeader(const char* data, size_t length) {
  const bool endOfBlock = ParseHeaderLine(data, length).kind == HeaderLineKind::kEndOfBlock;
  if (endOfBlock && easy != nullptr && (httpCode < 300 || httpCode > 399)) {
    curl_off_t sent = 0;
    curl_off_t firstByte = 0;
    if (curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &sent) == CURLE_OK &&
        curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &firstByte) == CURLE_OK && firstByte >= sent &&
        firstByte > 0)
      SetResponseLatencyUs(static_cast<int64_t>(firstByte - sent));
  }
  const size_t consumed = CCurlHttp::OnRecieveHeader(data, length);
  if (!endOfBlock) return consumed;
  // The writer keeps its own lock; the sink itself lives as long as this transfer.
  if (CVKDownloadFileIO* writer = Writer()) writer->AcceptResponseHeaders(httpCode, headers);
  return consumed;
}
