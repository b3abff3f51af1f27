// The installer's entry: the single-instance rule, start-up, the message loop and the shut-down
// in their fixed order. Everything here runs on the main thread.
#include <memory>
#include <string>
#include <vector>

#include "commonlib/logger/Log.h"
#include "installer/CmdLineOptions.h"
#include "installer/MainApp.h"
#include "installer/MsgBoxDlg.h"
#include "platform/errors.h"
#include "platform/message_loop.h"
#include "platform/named_mutex.h"
#include "platform/resources.h"
#include "platform/signals.h"
#include "platform/text.h"
#include "platform/window.h"
#include "uitoolkit/controls/Control.h"
#include "uitoolkit/window/SkinResource.h"

namespace {

constexpr wchar_t kInstanceMutexName[] = L"vkqx_install_20170309";

// The process's arguments as wide text (they arrive in the ANSI code page).
std::unique_ptr<CCmdLineOptions> ParseCommandLine(int argc, char** argv) {
  std::vector<std::wstring> words;
  for (int i = 0; i < argc; ++i) words.push_back(platform::AnsiToWide(argv[i] != nullptr ? argv[i] : ""));
  std::vector<const wchar_t*> wideArgv;
  for (const std::wstring& w : words) wideArgv.push_back(w.c_str());
  return std::make_unique<CCmdLineOptions>(argc, wideArgv.data());
}

// Stands in for the main window until it exists: a message-only window that ends the loop when
// it is finally destroyed, as the main window does.
class CPlaceholderMainWnd {
 public:
  ~CPlaceholderMainWnd() {
    if (platform::IsWindow(m_hwnd)) platform::DestroyWindow(m_hwnd);
  }

  bool Create() {
    platform::RegisterClass({&CPlaceholderMainWnd::WindowProc, L"VkqxMainWindowClass"});
    m_hwnd = platform::CreateWindow(L"VkqxMainWindowClass", L"", 0, 0, platform::HWND_MESSAGE, nullptr);
    return m_hwnd != nullptr;
  }
  platform::HWND Handle() const { return m_hwnd; }

 private:
  static platform::LRESULT WindowProc(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                                      platform::LPARAM lParam) {
    if (message == platform::WM_CLOSE) LOGI(L"main() 主窗口收到关闭请求");
    if (message == platform::WM_NCDESTROY) platform::PostQuitMessage(0);
    return platform::DefWindowProc(hwnd, message, wParam, lParam);
  }

  platform::HWND m_hwnd = nullptr;
};

constexpr uint32_t kSkinResourceId = 150;

// The second-instance notice: no owner, only the OK button. Its result does not matter.
void ShowAlreadyRunningNotice() {
  LOGI(L"您已经运行了一个Tessary安装程序。");
  auto* box = new CMsgBoxDlg(L"您已经运行了一个Tessary安装程序。", L"提示信息", L"");
  if (!box->Create(nullptr, L"提示信息", ui::WS_POPUP)) {
    delete box;
    return;
  }
  box->CenterWindow();
  if (ui::Control* group = box->FindControl(L"hlt_btn_0")) group->SetVisible(false);
  box->ShowWindow(true, true);
  box->ShowModal();
}

}  // namespace

int main(int argc, char** argv) {
  // Common controls need no initialisation here.
  CMainApp* app = CMainApp::GetInstance();
  // Read before the mutex: the hidden flag governs the second-instance notice.
  std::unique_ptr<CCmdLineOptions> options = ParseCommandLine(argc, argv);
  app->ApplyCommandLine(*options);
  // The toolkit keeps the skin archive open from here to the end; window classes are registered
  // as windows are made.
  const std::span<const uint8_t> skin = platform::LoadResource(L"ZIPRES", kSkinResourceId);
  ui::OpenSkinBytes(std::string(reinterpret_cast<const char*>(skin.data()), skin.size()));

  std::unique_ptr<platform::NamedMutex> instanceMutex = platform::NamedMutex::Create(kInstanceMutexName);
  if (platform::GetLastError() == platform::ERROR_ALREADY_EXISTS) {
    instanceMutex.reset();
    if (!app->m_hide) ShowAlreadyRunningNotice();
    return 0;
  }
  if (!instanceMutex) LOGE(L"main() 单实例互斥量创建失败 err:%u", platform::GetLastError());

  // The host's termination requests close the main window like any close request, so the
  // process always ends through the shut-down below.
  auto mainWnd = std::make_unique<CPlaceholderMainWnd>();
  platform::TerminationSignalWatch signalWatch([&mainWnd](int signalNumber) {
    LOGI(L"main() 收到终止信号 %d", signalNumber);
    if (mainWnd) platform::PostMessage(mainWnd->Handle(), platform::WM_CLOSE, 0, 0);
  });

  app->Init(nullptr);  // [main window] the CMainDlg object once it exists
  if (!mainWnd->Create()) LOGE(L"main() 主窗口创建失败 err:%u", platform::GetLastError());
  // [main window] centre it on its monitor's work area; show it unless hidden.
  // COM and OLE need no initialisation here.
  LOGI(L"main() 消息循环开始 hide:%d id:%d run:%d", app->m_hide ? 1 : 0, app->m_id, app->m_run ? 1 : 0);
  const int exitCode = platform::RunMessageLoop();
  LOGI(L"main() 消息循环结束 code:%d", exitCode);

  LOGI(L"main() 关闭: 释放皮肤资源");
  ui::ReleaseSkinArchive();
  LOGI(L"main() 关闭: CMainApp::UnInit");
  app->UnInit();
  LOGI(L"main() 关闭: OleUninitialize");
  LOGI(L"main() 关闭: 释放单实例互斥量");
  instanceMutex.reset();
  LOGI(L"main() 关闭: 销毁主窗口对象");
  mainWnd.reset();
  LOGI(L"main() 关闭: 销毁命令行选项");
  options.reset();
  LOGI(L"main() 退出 code:%d", exitCode);
  return exitCode;
}
