#include "commonlib/http/CurlEvents.h"

#include "commonlib/http/CurlBase.h"
#include "commonlib/http/CurlListener.h"
#include "commonlib/thread/MainThreadTask.h"

namespace {

CurlListener* LiveListenerOf(const CRefPtr<CCurlBase>& transfer) {
  if (!transfer) return nullptr;
  CurlListener* listener = transfer->listener;
  return CurlListener::IsAlive(listener, transfer->listenerSerial) ? listener : nullptr;
}

void RunTransferDone(const CRefPtr<CCurlBase>& transfer, int code) {
  if (CurlListener* listener = LiveListenerOf(transfer)) listener->OnTransferDone(transfer, code);
}
void RunTransferAdded(const CRefPtr<CCurlBase>& transfer, int zero) {
  if (CurlListener* listener = LiveListenerOf(transfer)) listener->OnTransferAdded(transfer, zero);
}
void RunTransferRemoved(const CRefPtr<CCurlBase>& transfer, int zero) {
  if (CurlListener* listener = LiveListenerOf(transfer)) listener->OnTransferRemoved(transfer, zero);
}
void RunRecvProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) {
  if (CurlListener* listener = LiveListenerOf(transfer)) listener->OnRecvProgress(transfer, bytes);
}
void RunSendProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) {
  if (CurlListener* listener = LiveListenerOf(transfer)) listener->OnSendProgress(transfer, bytes);
}
void RunHeaders(const CRefPtr<CCurlBase>& transfer, int httpCode, const ProtoValue& headers) {
  if (CurlListener* listener = LiveListenerOf(transfer)) listener->OnHeaders(transfer, httpCode, headers);
}

}  // namespace

void PostTransferDone(const CRefPtr<CCurlBase>& transfer, int curlCode) {
  PostMainThreadTask(&RunTransferDone, transfer, curlCode);
}
void PostTransferAdded(const CRefPtr<CCurlBase>& transfer) {
  PostMainThreadTask(&RunTransferAdded, transfer, 0);
}
void PostTransferRemoved(const CRefPtr<CCurlBase>& transfer) {
  PostMainThreadTask(&RunTransferRemoved, transfer, 0);
}
void PostRecvProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) {
  PostMainThreadTask(&RunRecvProgress, transfer, bytes);
}
void PostSendProgress(const CRefPtr<CCurlBase>& transfer, unsigned int bytes) {
  PostMainThreadTask(&RunSendProgress, transfer, bytes);
}
void PostHeaders(const CRefPtr<CCurlBase>& transfer, int httpCode, const ProtoValue& headers) {
  PostMainThreadTask(&RunHeaders, transfer, httpCode, headers);
}
