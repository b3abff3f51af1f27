// Placeholder entry point; the application spine replaces it.
#include "commonlib/logger/Log.h"

int main() {
  LOGI(L"installer start");
  return 0;
}
