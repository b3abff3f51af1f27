#include "commonlib/http/HttpHousekeeping.h"

#include "commonlib/http/HttpMgr.h"

void CHttpHousekeeping::Tick(CHttpMgr* downloadMgr, CHttpMgr* commandMgr) {
  if (m_ticks % 2 == 0) {
    if (downloadMgr != nullptr) downloadMgr->CheckTimeouts();
    if (commandMgr != nullptr) commandMgr->CheckTimeouts();
  }
  if (downloadMgr != nullptr) downloadMgr->CheckRetryDelays();
  if (commandMgr != nullptr) commandMgr->CheckRetryDelays();
  ++m_ticks;
}
