#include "commonlib/http/ErrorType.h"

namespace {
constexpr const wchar_t* kNames[kErrorTypeCount] = {L"ok",   L"sys",  L"crt",    L"user",
                                                    L"http", L"curl", L"webkit", L"dp"};
}  // namespace

const wchar_t* ErrorTypeName(int type) {
  if (type < 0 || type >= kErrorTypeCount) return nullptr;
  return kNames[type];
}
