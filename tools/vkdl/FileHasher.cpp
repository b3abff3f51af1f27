#include "tools/vkdl/FileHasher.h"

#include <algorithm>
#include <vector>

namespace {
constexpr uint32_t kChunkBytes = 1u << 20;
constexpr uint32_t kWaitSliceMs = 50;
}  // namespace

CFileHasher::~CFileHasher() {
  DestroyThread(0xFFFFFFFFu);
  if (m_file != platform::kInvalidFile) platform::CloseHandle(m_file);
}

bool CFileHasher::Begin(const std::wstring& path) {
  if (Begun()) return true;
  // Shared for everything: the engine keeps writing the file and moves it when it is complete.
  m_file = platform::CreateFile(path, platform::GENERIC_READ,
                                platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE | platform::FILE_SHARE_DELETE,
                                platform::OPEN_EXISTING, false);
  if (m_file == platform::kInvalidFile) return false;
  return StartThread();
}

void CFileHasher::Advance(uint64_t limit) {
  uint64_t current = m_limit.load();
  while (limit > current && !m_limit.compare_exchange_weak(current, limit)) {
  }
  m_changed.notify_all();
}

std::string CFileHasher::Finish(uint64_t size) {
  if (!Begun()) return std::string();
  Advance(size);
  m_finishing = true;
  m_changed.notify_all();
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_ended; });
    if (m_failed || m_hashed != size) return std::string();
  }
  DestroyThread(0xFFFFFFFFu);
  m_md5.finalize();
  return m_md5.hex_digest();
}

void CFileHasher::Run() {
  std::vector<char> buffer(kChunkBytes);
  bool failed = false;
  while (!IsStopRequested()) {
    const uint64_t limit = m_limit.load();
    if (m_hashed < limit) {
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kChunkBytes, limit - m_hashed));
      uint32_t read = 0;
      if (!platform::ReadFileAt(m_file, m_hashed, buffer.data(), want, &read) || read == 0) {
        failed = true;
        break;
      }
      m_md5.update(buffer.data(), read);
      m_hashed += read;
      continue;
    }
    if (m_finishing) break;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(kWaitSliceMs),
                       [this, limit] { return m_limit.load() != limit || m_finishing.load(); });
  }
  std::lock_guard<std::mutex> lock(m_mutex);
  m_ended = true;
  m_failed = failed;
  m_changed.notify_all();
}
