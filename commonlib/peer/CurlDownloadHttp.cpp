#include "commonlib/peer/CurlDownloadHttp.h"

#include "commonlib/http/HttpHeaderLine.h"
#include "commonlib/peer/VKFileIO.h"

CVKDownloadFileIO* CCurlDownloadHttp::Writer() const { return static_cast<CVKDownloadFileIO*>(sink.get()); }

size_t CCurlDownloadHttp::OnRecieveHeader(const char* data, size_t length) {
  const size_t consumed = CCurlHttp::OnRecieveHeader(data, length);
  if (ParseHeaderLine(data, length).kind != HeaderLineKind::kEndOfBlock) return consumed;
  // The writer keeps its own lock; the sink itself lives as long as this transfer.
  if (CVKDownloadFileIO* writer = Writer()) writer->AcceptResponseHeaders(httpCode, headers);
  return consumed;
}
