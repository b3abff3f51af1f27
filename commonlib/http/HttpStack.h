// One HTTP stack: a workshop thread and the manager that schedules its requests. The application
// builds two: the command stack (here, process-wide) and the download engine's own.
#pragma once

#include <memory>

#include "commonlib/http/CurlWorkshop.h"
#include "commonlib/http/HttpMgr.h"

class CHttpStack {
 public:
  CHttpStack() = default;
  CHttpStack(const CHttpStack&) = delete;
  CHttpStack& operator=(const CHttpStack&) = delete;
  ~CHttpStack();

  // Creates, initialises and starts the workshop, then creates the manager; an object that
  // already exists is left untouched.
  void Start();
  // Stops the workshop thread (waiting as long as it takes), uninitialises and deletes it; then
  // clears and deletes the manager.
  void Stop();

  CCurlWorkshop* Workshop() const { return m_workshop.get(); }
  CHttpMgr* Manager() const { return m_manager.get(); }

 private:
  std::unique_ptr<CCurlWorkshop> m_workshop;
  std::unique_ptr<CHttpMgr> m_manager;
};

// The command stack, used by CHttpCommand. Started by the application at start-up.
CHttpStack& CommandHttpStack();
CCurlWorkshop* GetCommandWorkshop();
CHttpMgr* GetCommandHttpMgr();
