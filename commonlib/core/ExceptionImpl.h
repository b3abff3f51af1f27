// IException: the base of the system's exceptions (files and values). It carries a code, a
// message and the source position of the throw, and can describe and log itself.
#pragma once

#include <cstdint>
#include <string>

class IException {
 public:
  IException() = default;
  IException(int32_t code, std::wstring message, const char* sourceFile, int32_t sourceLine);
  virtual ~IException() = default;
  IException(const IException&) = default;
  IException& operator=(const IException&) = default;

  // "[Exception]%s(%d): code:%d errMsg:%s" with source file, line, code and message.
  virtual void Describe(std::wstring& out) const;
  virtual bool OnReport(const std::wstring& text);
  // Logs the description at LOG_ERROR and passes it to OnReport.
  virtual bool Report();

  int32_t m_code = 0;
  std::wstring m_message;
  std::wstring m_sourceFile;
  int32_t m_sourceLine = 0;
};

// Builds an exception of type E with the source position of the call site.
#define VKQX_MAKE_EXCEPTION(E, code, message) E((code), (message), __FILE__, __LINE__)
