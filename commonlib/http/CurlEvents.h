// Posting a transfer's events to the main thread. Each event is a main-thread task holding a
// CRefPtr to the transfer and its values, copied now; when it runs it looks at the transfer's
// listener and calls the matching operation, unless the listener has been destroyed meanwhile.
#pragma once

#include "commonlib/core/ProtoValue.h"
#include "commonlib/thread/RefPtr.h"

class CCurlBase;

void PostTransferDone(const CRefPtr<CCurlBase>& transfer, int curlCode);
void PostTransferAdded(const CRefPtr<CCurlBase>& transfer);
void PostTransferRemoved(const CRefPtr<CCurlBase>& transfer);
void PostRecvProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes);
void PostSendProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes);
void PostHeaders(const CRefPtr<CCurlBase>& transfer, int httpCode, const ProtoValue& headers);
