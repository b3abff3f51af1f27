#include "commonlib/engine/TaskLog.h"

#include "platform/clock.h"
#include "platform/format.h"

namespace {

const std::wstring kEmpty;

std::wstring NowText() {
  const platform::LocalTime t = platform::GetLocalTime();
  return platform::StrFormat(L"%d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

void SaveCounters(const std::map<std::wstring, int64_t>& counters, const wchar_t* key, ProtoValue& logMap) {
  if (counters.empty()) return;
  ProtoValue& out = logMap[key];
  for (const auto& [name, value] : counters) out[name] = value;
}

// A missing key reads as empty; anything but a map of integers is refused.
bool ParseCounters(const ProtoValue& value, std::map<std::wstring, int64_t>& out) {
  if (value.type() == PV_NULL) return true;
  const ProtoValue::Map* map = value.GetMap();
  if (map == nullptr) return false;
  for (const auto& [name, entry] : *map) {
    if (entry.type() != PV_INTEGER) return false;
    out[name] = entry.integer();
  }
  return true;
}

}  // namespace

void CTaskLog::AppendLine(const std::wstring& category, const std::wstring& text) {
  m_lines.push_back(platform::StrFormat(L"[%s] [%s] %s", NowText(), category, text));
  DropOldestLines();
}

void CTaskLog::DropOldestLines() {
  if (m_lines.size() > kMaxLines)
    m_lines.erase(m_lines.begin(), m_lines.end() - static_cast<std::ptrdiff_t>(kMaxLines));
}

const std::wstring& CTaskLog::LastLine() const { return m_lines.empty() ? kEmpty : m_lines.back(); }

void CTaskLog::AddSourceBytes(const std::wstring& sourceName, int64_t bytes) {
  if (sourceName.empty()) return;
  m_bytesBySource[sourceName] += bytes;
}

void CTaskLog::AddSourceTime(const std::wstring& sourceName, uint32_t& firstStartTick) {
  if (sourceName.empty()) return;
  int64_t& entry = m_timeBySource[sourceName];
  if (firstStartTick == 0) return;
  const uint32_t now = platform::GetTickCount();
  entry += static_cast<uint32_t>(now - firstStartTick);
  firstStartTick = now;
}

void CTaskLog::SaveTo(ProtoValue& logMap) const {
  if (!m_lines.empty()) {
    ProtoValue& lines = logMap[L"tl"];
    for (const std::wstring& line : m_lines) lines.push_back(ProtoValue(line));
  }
  SaveCounters(m_bytesBySource, L"ws", logMap);
  SaveCounters(m_timeBySource, L"it", logMap);
}

bool CTaskLog::Parse(const ProtoValue& logMap, TaskLogSnapshot& out) {
  out = {};
  if (logMap.type() == PV_NULL) return true;
  if (logMap.type() != PV_MAP) return false;
  const ProtoValue& lines = logMap.Lookup(L"tl");
  if (lines.type() != PV_NULL) {
    const ProtoValue::Array* array = lines.GetArray();
    if (array == nullptr) return false;
    for (const ProtoValue& line : *array) {
      if (line.type() != PV_STRING) return false;
      out.lines.push_back(line.string());
    }
  }
  return ParseCounters(logMap.Lookup(L"ws"), out.bytesBySource) &&
         ParseCounters(logMap.Lookup(L"it"), out.timeBySource);
}

void CTaskLog::Restore(const TaskLogSnapshot& saved) {
  m_lines.insert(m_lines.begin(), saved.lines.begin(), saved.lines.end());
  DropOldestLines();
  for (const auto& [name, value] : saved.bytesBySource) m_bytesBySource[name] = value;
  for (const auto& [name, value] : saved.timeBySource) m_timeBySource[name] = value;
}

void CTaskLog::FillStatistics(int64_t fileSize, int64_t downloadedBytes, int64_t elapsedMs, int32_t status,
                              bool usedCdn) {
  const uint64_t elapsed = elapsedMs > 0 ? static_cast<uint64_t>(elapsedMs) : 0;
  const uint64_t downloaded = downloadedBytes > 0 ? static_cast<uint64_t>(downloadedBytes) : 0;
  const uint64_t avg = elapsed != 0 ? downloaded * 1000 / elapsed : 0;
  const int64_t seconds = static_cast<int64_t>(elapsed / 1000);
  m_stats[L"size"] = fileSize;
  m_stats[L"download_size"] = downloadedBytes;
  m_stats[L"time_comsuming"] = seconds == 0 ? int64_t{1} : seconds;
  m_stats[L"avg_speed"] = static_cast<int64_t>(avg);
  m_stats[L"status"] = status;
  m_stats[L"is_cdn"] = usedCdn ? 1 : 0;
}
