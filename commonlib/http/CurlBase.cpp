#include "commonlib/http/CurlBase.h"

#include "commonlib/http/CurlListener.h"

CCurlBase::CCurlBase(CCurlWorkshop* workshop, CurlListener* listener)
    : listener(listener), listenerSerial(listener != nullptr ? listener->Serial() : 0), workshop(workshop) {}

CCurlBase::~CCurlBase() {
  if (easy != nullptr) {
    curl_easy_cleanup(easy);
    easy = nullptr;
  }
}
