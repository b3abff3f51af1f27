#include "installer/MsgBoxDlg.h"

#include "uitoolkit/controls/Control.h"

CMsgBoxDlg::CMsgBoxDlg(const std::wstring& message, const std::wstring& title, const std::wstring& code)
    : m_message(message), m_title(title), m_code(code) {}

void CMsgBoxDlg::InitWindow() {
  m_pTitle = FindControl(L"lb_title");
  m_pClose = FindControl(L"btn_close");
  m_pText = FindControl(L"lb_text");
  m_pCode = FindControl(L"lb_code");
  m_pOk = FindControl(L"btn_ok");
  m_pCancel = FindControl(L"btn_cancel");
  m_pCancelGroup = FindControl(L"hlt_btn_0");
  if (m_pText) m_pText->SetText(m_message);
  if (m_pTitle) m_pTitle->SetText(m_title);
  if (m_pCode) m_pCode->SetText(m_code);
}

void CMsgBoxDlg::Notify(const ui::Notification& notification) {
  if (notification.type != ui::notify::kClick || !notification.sender) return;
  if (notification.sender == m_pOk) Close(1);
  else if (notification.sender == m_pCancel || notification.sender == m_pClose) Close(2);
}

void CMsgBoxDlg::OnFinalMessage(platform::HWND) { delete this; }

platform::UINT ShowMessageBox(platform::HWND owner, const std::wstring& title, const std::wstring& message,
                              const std::wstring& okText, const std::wstring& cancelText, const std::wstring& codeText,
                              bool showClose, bool showCancelGroup) {
  auto* box = new CMsgBoxDlg(message, title, codeText);
  if (!box->Create(owner, title, ui::WS_POPUP)) {
    delete box;  // a window that was never made has no final message
    return 0;
  }
  box->CenterWindow();
  box->ShowWindow(true, true);
  if (!okText.empty())
    if (ui::Control* ok = box->FindControl(L"btn_ok")) ok->SetText(okText);
  if (!cancelText.empty())
    if (ui::Control* cancel = box->FindControl(L"btn_cancel")) cancel->SetText(cancelText);
  if (ui::Control* close = box->FindControl(L"btn_close")) close->SetVisible(showClose);
  if (ui::Control* group = box->FindControl(L"hlt_btn_0")) group->SetVisible(showCancelGroup);
  return box->ShowModal();
}
