#include "commonlib/core/ExceptionImpl.h"

#include "commonlib/logger/Log.h"
#include "platform/format.h"
#include "platform/text.h"

IException::IException(int32_t code, std::wstring message, const char* sourceFile, int32_t sourceLine)
    : m_code(code),
      m_message(std::move(message)),
      m_sourceFile(platform::AnsiToWide(sourceFile ? sourceFile : "")),
      m_sourceLine(sourceLine) {}

void IException::Describe(std::wstring& out) const {
  out = platform::StrFormat(L"[Exception]%s(%d): code:%d errMsg:%s", m_sourceFile, m_sourceLine, m_code, m_message);
}

bool IException::OnReport(const std::wstring&) { return true; }

bool IException::Report() {
  std::wstring text;
  Describe(text);
  LOGE(text.c_str());
  OnReport(text);
  return true;
}
