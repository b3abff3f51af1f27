#include "commonlib/http/HttpStack.h"

#include <cstdint>

namespace {
constexpr uint32_t kInfinite = 0xFFFFFFFFu;
}  // namespace

CHttpStack::~CHttpStack() { Stop(); }

void CHttpStack::Start() {
  if (!m_workshop) {
    m_workshop = std::make_unique<CCurlWorkshop>();
    m_workshop->Init();
    m_workshop->StartThread();
  }
  if (!m_manager) m_manager = std::make_unique<CHttpMgr>();
}

void CHttpStack::Stop() {
  if (m_workshop) {
    m_workshop->DestroyThread(kInfinite);
    m_workshop->UnInit();
    m_workshop.reset();
  }
  if (m_manager) {
    m_manager->Clear();
    m_manager.reset();
  }
}

CHttpStack& CommandHttpStack() {
  static CHttpStack stack;
  return stack;
}

CCurlWorkshop* GetCommandWorkshop() { return CommandHttpStack().Workshop(); }

CHttpMgr* GetCommandHttpMgr() { return CommandHttpStack().Manager(); }
