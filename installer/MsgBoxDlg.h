// CMsgBoxDlg: the installer's skinned message box, for every question and notice. It shows a
// title, a message, an optional grey code line and one or two buttons, runs modally over its
// owner and returns the button that ended it: 1 OK, 2 cancel or close. It deletes itself when its
// window is gone.
#pragma once

#include <string>

#include "uitoolkit/window/SkinWindow.h"

namespace ui {
class Control;
}

class CMsgBoxDlg : public ui::SkinWindow {
 public:
  CMsgBoxDlg(const std::wstring& message, const std::wstring& title, const std::wstring& code);

  std::wstring GetWindowClassName() const override { return L"velkorim"; }
  std::wstring GetSkinFile() override { return L"MessageBox.xml"; }

 protected:
  void InitWindow() override;
  void Notify(const ui::Notification& notification) override;
  // Escape and Enter do nothing in the box.
  bool OnDefaultKey(unsigned key) override { return false; }
  void OnFinalMessage(platform::HWND hwnd) override;

 private:
  std::wstring m_message;
  std::wstring m_title;
  std::wstring m_code;
  ui::Control* m_pTitle = nullptr;
  ui::Control* m_pClose = nullptr;
  ui::Control* m_pText = nullptr;
  ui::Control* m_pCode = nullptr;
  ui::Control* m_pOk = nullptr;
  ui::Control* m_pCancel = nullptr;
  ui::Control* m_pCancelGroup = nullptr;
};

// The common sequence: create the box over `owner` (or none), centre and show it, set the button
// texts that are not empty, show or hide the close button and the cancel group, run it modally.
// Returns its result, or 0 when the box could not be created.
platform::UINT ShowMessageBox(platform::HWND owner, const std::wstring& title, const std::wstring& message,
                              const std::wstring& okText, const std::wstring& cancelText, const std::wstring& codeText,
                              bool showClose, bool showCancelGroup);
