#include "commonlib/http/CurlBase.h"

CCurlBase::CCurlBase(CCurlWorkshop* workshop, CurlListener* listener)
    : listener(listener), workshop(workshop) {}

CCurlBase::~CCurlBase() {
  if (easy != nullptr) {
    curl_easy_cleanup(easy);
    easy = nullptr;
  }
}
