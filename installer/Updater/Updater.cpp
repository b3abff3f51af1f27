#include "installer/Updater/Updater.h"

#include <json/value.h>
#include <json/writer.h>

#include <atomic>
#include <cctype>
#include <ctime>

#include "commonlib/core/FileEx.h"
#include "commonlib/engine/DownloadEngine.h"
#include "commonlib/logger/Log.h"
#include "commonlib/util/CommonUtils.h"
#include "commonlib/util/FileUtils.h"
#include "commonlib/util/MD5.h"
#include "installer/AppSettings.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/format.h"
#include "platform/ini_file.h"
#include "platform/text.h"
#include "platform/window.h"

namespace {

std::atomic<int32_t> g_windowCounter{0};

constexpr uint32_t kIniBufferChars = 2048;
constexpr wchar_t kInstallSection[] = L"Install";

// The engine identifies a task's caller by a 32-bit id; window handles are sequence numbers of
// the process and fit in it.
int32_t WindowId(platform::HWND hwnd) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(hwnd)); }
platform::HWND WindowFromId(uint32_t id) { return reinterpret_cast<platform::HWND>(static_cast<uintptr_t>(id)); }

std::string BuildReportTag() {
  Json::Value tag(Json::objectValue);
  tag["game"] = "QX_mini_downloader";
  tag["type"] = 2;
  return Json::StyledWriter().write(tag);
}

}  // namespace

CUpdater::CUpdater(const std::wstring& dir, IGameEventListener* listener)
    : m_urls(GetDeploymentSettings().updateUrls), m_dir(dir), m_listener(listener), m_reportTag(BuildReportTag()) {}

CUpdater::~CUpdater() {
  // The owner calls Stop first; a window left behind would keep a pointer to this object.
  if (m_hwnd != nullptr) Stop();
}

int32_t CUpdater::NextWindowNumberForTesting() { return g_windowCounter.load() + 1; }

int CUpdater::CreateHelperWindow() {
  m_className = platform::StrFormat(L"_UPDATE_MODULE_HELPER_WINDOW_VELKOR%d", ++g_windowCounter);
  if (platform::RegisterClass({&CUpdater::HelperWindowProc, m_className.c_str()}) == 0) {
    LOGE(L"[UM]regclass %d", platform::GetLastError());
    return -1;
  }
  m_hwnd = platform::CreateWindow(m_className.c_str(), L"", 0, 0, platform::HWND_MESSAGE, nullptr);
  if (m_hwnd == nullptr) {
    const uint32_t error = platform::GetLastError();
    platform::UnregisterClass(m_className.c_str());
    LOGE(L"[UM]unregclass %d", error);
    return -1;
  }
  platform::SetWindowLongPtr(m_hwnd, platform::GWLP_USERDATA, reinterpret_cast<platform::LONG_PTR>(this));
  return 0;
}

bool CUpdater::RequestInfo() {
  if (m_nextUrl < 0 || static_cast<size_t>(m_nextUrl) >= m_urls.size()) return false;
  const std::wstring& url = m_urls[static_cast<size_t>(m_nextUrl++)];
  LOGI(L"CUpdater::RequestInfo 请求安装描述 %s", url);
  return m_command.Get(url, m_hwnd, &CUpdater::OnDescriptor);
}

CUpdater* CUpdater::FromWindow(platform::HWND hwnd) {
  if (hwnd == nullptr || !platform::IsWindow(hwnd)) return nullptr;
  return reinterpret_cast<CUpdater*>(platform::GetWindowLongPtr(hwnd, platform::GWLP_USERDATA));
}

void CUpdater::PostToHelper(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                            platform::LPARAM lParam) {
  if (!platform::PostMessage(hwnd, message, wParam, lParam))
    LOGE(L"[UM] post message failed:%u", platform::GetLastError());
}

void CUpdater::OnDescriptor(void* userData, const std::string& body, int type, int code) {
  const auto hwnd = static_cast<platform::HWND>(userData);
  CUpdater* self = FromWindow(hwnd);
  if (self == nullptr) return;
  if (type == 0 && body.size() > kMaxDescriptorBytes) {
    LOGE(L"CUpdater 安装描述过大 %u 字节，放弃此地址", static_cast<uint32_t>(body.size()));
    self->m_body.clear();
    type = 3;
    code = kUpdaterDescriptorTooLarge;
  } else {
    self->m_body = platform::Utf8ToWide(body);
  }
  PostToHelper(hwnd, UM_INFO_RESULT, static_cast<platform::WPARAM>(type), static_cast<platform::LPARAM>(code));
}

void CUpdater::StoreAndReadDescriptor(int& type, int& code) {
  const std::wstring path =
      platform::StrFormat(L"%s\\qxinstall_%d.ini", m_dir, static_cast<int32_t>(static_cast<uint32_t>(std::time(nullptr))));
  CFileEx file;
  CFileExException openError;
  bool written = false;
  if (!file.Open(path, FILEEX_WRITE | FILEEX_CREATE | FILEEX_BINARY | FILEEX_SHARE_DENY_WRITE, &openError)) {
    type = 1;
    code = openError.m_code;
  } else {
    try {
      std::string bytes = "\xFF\xFE";
      platform::AppendUtf16LE(m_body, bytes);
      file.Seek(0, 0);
      file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
      file.Flush();
      file.Close();
      written = true;
    } catch (const CFileExException& e) {
      file.Abort();
      type = 1;
      code = e.m_code;
    }
  }
  if (written) {
    auto read = [&path](const wchar_t* key, const wchar_t* fallback) {
      return platform::ReadPrivateProfileString(kInstallSection, key, fallback, path, kIniBufferChars);
    };
    m_url = read(L"Url", L"");
    m_size = read(L"Size", L"");
    m_md5 = read(L"Md5", L"");
    m_version = read(L"Version", L"");
    m_cdnHost = read(L"ThirdCDNHost", L"");
    m_minSpeed = platform::WideToInt64(read(L"ThirdCDNMinSpeed", L"0"));
    m_sslUrl = read(L"SSLUrl", L"");
    if (!m_sslUrl.empty()) m_url = m_sslUrl;
    LOGI(L"CUpdater 安装描述 url:%s size:%s md5:%s version:%s cdn:%s min_speed:%lld", m_url, m_size, m_md5, m_version,
         m_cdnHost, m_minSpeed);
    if (m_url.empty() || platform::WideToInt64(m_size) <= 0) {
      LOGE(L"CUpdater 安装描述缺少安装包地址或大小，放弃此地址");
      type = 3;
      code = kUpdaterDescriptorUnusable;
    } else {
      StartDownload();
    }
  }
  // The descriptor never stays on disk, whatever happened above.
  platform::DeleteFile(path);
}

void CUpdater::HandleInfoResult(int type, int code) {
  m_command.Stop();
  if (type == 0) StoreAndReadDescriptor(type, code);
  // A failed request or an answer that names no package moves on to the next URL; a descriptor
  // that could not be stored (type 1) is a local problem another server does not solve.
  const bool tryNext = type != 0 && type != 1;
  if (tryNext && static_cast<size_t>(m_nextUrl) < m_urls.size()) {
    RequestInfo();
    return;
  }
  if (m_listener != nullptr) m_listener->OnInfoResult(type, code, m_version, m_md5);
}

bool CUpdater::StartDownload() {
  if (!CreateDir(m_dir)) return false;
  m_targetPath = platform::StrFormat(L"%s\\%s", m_dir, kPackageFileName);
  m_downloading = true;
  SetDownloadCallbacks(&CUpdater::OnDownloadProgress, &CUpdater::OnDownloadDone);
  const std::wstring spareIps = GetNetTestSettings()->m_spareIpList;
  LOGI(L"CUpdater::StartDownload %s -> %s 备用ip:%s", m_url, m_targetPath, spareIps);
  if (!DownloadFile(m_md5.c_str(), m_cdnHost.c_str(), m_url.c_str(), spareIps.c_str(), m_targetPath.c_str(),
                    platform::WideToInt64(m_size), WindowId(m_hwnd), m_minSpeed, m_reportTag.c_str())) {
    // The queue refused it (a task for this package is still queued): no result will come.
    m_downloading = false;
    LOGE(L"CUpdater::StartDownload 下载任务未被接受 %s", m_targetPath);
    return false;
  }
  return true;
}

void CUpdater::OnDownloadProgress(uint32_t id, int64_t total, int64_t completed, int32_t speed) {
  const platform::HWND hwnd = WindowFromId(id);
  CUpdater* self = FromWindow(hwnd);
  if (self == nullptr) return;
  ProtoValue& process = self->m_progress[L"process"];
  process[L"total"] = total;
  process[L"complete"] = completed;
  process[L"speed"] = speed;
  PostToHelper(hwnd, UM_PROGRESS, 0, 0);
}

void CUpdater::OnDownloadDone(uint32_t id, int32_t type, int32_t code) {
  const platform::HWND hwnd = WindowFromId(id);
  if (FromWindow(hwnd) == nullptr) return;
  PostToHelper(hwnd, UM_DOWNLOAD_RESULT, static_cast<platform::WPARAM>(static_cast<uint32_t>(type)),
               static_cast<platform::LPARAM>(code));
}

void CUpdater::HandleProgress() {
  if (!m_downloading) return;
  const ProtoValue& process = m_progress.Lookup(L"process");
  if (process.type() == PV_MAP) {
    const int64_t total = process.Lookup(L"total").integer();
    const int64_t completed = process.Lookup(L"complete").integer();
    const auto speed = static_cast<int64_t>(static_cast<uint32_t>(process.Lookup(L"speed").integer()));
    if (m_listener != nullptr) m_listener->OnProgress(total, completed, speed);
  }
  m_progress = ProtoValue();
}

void CUpdater::HandleDownloadResult(int type, int code) {
  if (!m_downloading) return;
  CancelDownload(m_url.c_str(), m_targetPath.c_str());
  m_downloading = false;
  if (type == 0) {
    EnableDebugPrivilege();
    KillProcessesByName(kPackageFileName);
    if (m_listener != nullptr) m_listener->OnDownloadFinish(0, code, L"");
  } else if (m_listener != nullptr) {
    m_listener->OnDownloadFinish(type, code, kDownloadFailedText);
  }
}

platform::LRESULT CUpdater::HelperWindowProc(platform::HWND hwnd, platform::UINT message, platform::WPARAM wParam,
                                             platform::LPARAM lParam) {
  if (message >= 2027 && message <= 2031) return 0;
  if (message == platform::WM_TIMER) return 0;
  if (message != UM_INFO_RESULT && message != UM_PROGRESS && message != UM_DOWNLOAD_RESULT)
    return platform::DefWindowProc(hwnd, message, wParam, lParam);
  CUpdater* self = FromWindow(hwnd);
  if (self == nullptr) return 0;
  const int type = static_cast<int>(static_cast<uint32_t>(wParam));
  const int code = static_cast<int>(lParam);
  if (message == UM_INFO_RESULT) {
    self->HandleInfoResult(type, code);
  } else if (message == UM_PROGRESS) {
    self->HandleProgress();
  } else {
    self->HandleDownloadResult(type, code);
  }
  return 0;
}

void CUpdater::Stop() {
  m_command.Stop();
  if (!m_targetPath.empty()) CancelDownload(m_url.c_str(), m_targetPath.c_str());
  m_body.clear();
  m_downloading = false;
  if (m_hwnd != nullptr) {
    platform::DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
    platform::UnregisterClass(m_className.c_str());
  }
}

bool CUpdater::VerifyPackage(const std::wstring& path, const std::wstring& expected) {
  if (expected.empty()) return true;
  FILE* stream = platform::OpenCFile(path, "rb");
  if (stream == nullptr) return false;
  MD5 digest(stream);  // closes the stream
  const std::string actual = digest.hex_digest();
  if (actual.size() != expected.size()) return false;
  for (size_t i = 0; i < actual.size(); ++i) {
    const wchar_t e = expected[i];
    const wchar_t lowered = (e >= L'A' && e <= L'Z') ? static_cast<wchar_t>(e - L'A' + L'a') : e;
    if (static_cast<wchar_t>(static_cast<unsigned char>(actual[i])) != lowered) return false;
  }
  return true;
}
