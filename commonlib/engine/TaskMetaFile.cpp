#include "commonlib/engine/TaskMetaFile.h"

#include "commonlib/core/ProtoValueStream.h"
#include "commonlib/engine/DownloadBlock.h"
#include "commonlib/logger/Log.h"
#include "commonlib/util/FileUtils.h"
#include "platform/errors.h"

namespace {

constexpr uint32_t kReadFlags = FILEEX_BINARY | FILEEX_NO_INHERIT | FILEEX_SHARE_DENY_WRITE | FILEEX_READ;
constexpr uint32_t kBackupFlags = FILEEX_BINARY | FILEEX_NO_TRUNCATE | FILEEX_CREATE | FILEEX_NO_INHERIT |
                                  FILEEX_SHARE_DENY_WRITE | FILEEX_READWRITE;
// Far more than any task's record; a larger file is not read into memory whole (see SkimMetaFile).
constexpr uint64_t kMaxMetaBytes = 64ull << 20;
uint64_t g_readLimit = kMaxMetaBytes;
constexpr int kMaxDepth = 64;
constexpr uint64_t kMaxKeyBytes = 1024;

// Reads a meta file past the read limit entry by entry, never holding more than one small entry:
// only the event record ("log") grows that large (older versions kept every line of every run), so
// it is passed over and every other entry is read whole. The progress survives; the record starts
// afresh. False when the file is not one well-formed map to its last entry.
class MetaSkimmer {
 public:
  MetaSkimmer(CFileEx& file, uint64_t size) : m_file(file), m_size(size) {}

  bool ReadMap(ProtoValue& out) {
    uint8_t kind = 0;
    uint64_t count = 0;
    if (!Byte(kind) || kind != PV_MAP || !Varint(count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
      std::wstring key;
      if (!Key(key)) return false;
      const uint64_t start = m_pos;
      if (!SkipValue(0)) return false;
      if (key == L"log") continue;
      const uint64_t length = m_pos - start;
      if (length > kMaxMetaBytes) return false;
      std::string bytes;
      m_pos = start;
      if (!Bytes(length, bytes)) return false;
      ProtoValue value;
      if (!ParseProtoValue(bytes, value)) return false;
      out[key] = std::move(value);
    }
    return out.type() == PV_MAP;
  }

 private:
  bool Byte(uint8_t& b) {
    if (m_pos >= m_size) return false;
    if (m_pos < m_bufStart || m_pos >= m_bufStart + m_buf.size()) {
      m_buf.resize(kChunk);
      m_file.Seek(static_cast<int64_t>(m_pos), 0);
      m_buf.resize(m_file.Read(m_buf.data(), kChunk));
      m_bufStart = m_pos;
      if (m_buf.empty()) return false;
    }
    b = static_cast<uint8_t>(m_buf[m_pos - m_bufStart]);
    ++m_pos;
    return true;
  }
  bool Varint(uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 70; shift += 7) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      value |= static_cast<uint64_t>(b & 0x7f) << shift;
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  bool Skip(uint64_t n) {
    if (n > m_size - m_pos) return false;
    m_pos += n;
    return true;
  }
  bool Bytes(uint64_t n, std::string& out) {
    out.clear();
    for (uint64_t i = 0; i < n; ++i) {
      uint8_t b = 0;
      if (!Byte(b)) return false;
      out.push_back(static_cast<char>(b));
    }
    return true;
  }
  bool Key(std::wstring& key) {
    uint64_t length = 0;
    std::string bytes;
    if (!Varint(length) || length % 2 != 0 || length > kMaxKeyBytes || !Bytes(length, bytes)) return false;
    for (size_t i = 0; i < bytes.size(); i += 2)
      key.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    return true;
  }
  bool SkipValue(int depth) {
    uint8_t kind = 0;
    uint64_t n = 0;
    if (depth > kMaxDepth || !Byte(kind)) return false;
    switch (kind) {
      case PV_NULL:
        return true;
      case PV_INTEGER:
        return Varint(n);
      case PV_REAL:
        return Skip(8);
      case PV_BINARY:
      case PV_STRING:
        return Varint(n) && Skip(n);
      case PV_ARRAY:
        if (!Varint(n)) return false;
        for (uint64_t i = 0; i < n; ++i)
          if (!SkipValue(depth + 1)) return false;
        return true;
      case PV_MAP:
        if (!Varint(n)) return false;
        for (uint64_t i = 0; i < n; ++i) {
          uint64_t keyLength = 0;
          if (!Varint(keyLength) || !Skip(keyLength) || !SkipValue(depth + 1)) return false;
        }
        return true;
      default:
        return false;
    }
  }

  static constexpr uint32_t kChunk = 64 * 1024;
  CFileEx& m_file;
  const uint64_t m_size;
  uint64_t m_pos = 0;
  uint64_t m_bufStart = 0;
  std::string m_buf;
};

// An integer or nothing (a missing key reads as 0); any other kind is refused.
bool ReadInteger(const ProtoValue& root, const wchar_t* key, int64_t& out) {
  const ProtoValue& v = root.Lookup(key);
  if (v.type() == PV_NULL) {
    out = 0;
    return true;
  }
  if (v.type() != PV_INTEGER) return false;
  out = v.integer();
  return true;
}

bool ReadGaps(const ProtoValue& list, int64_t fileSize, RangeList& gaps) {
  gaps.Clear();
  if (list.type() == PV_NULL) return true;
  const ProtoValue::Array* array = list.GetArray();
  if (array == nullptr) return false;
  for (const ProtoValue& element : *array) {
    const ProtoValue& start = element.Lookup(L"start");
    const ProtoValue& end = element.Lookup(L"end");
    if (element.type() != PV_MAP || start.type() != PV_INTEGER || end.type() != PV_INTEGER) return false;
    const int64_t s = start.integer();
    const int64_t e = end.integer();
    if (s < 0 || e < s || e >= fileSize) return false;
    gaps.Add(static_cast<uint64_t>(s), static_cast<uint64_t>(e));
  }
  return true;
}

}  // namespace

int64_t DownloadedBytes(const RangeList& gaps, int64_t fileSize) {
  if (fileSize <= 0) return 0;
  const uint64_t size = static_cast<uint64_t>(fileSize);
  return static_cast<int64_t>(size - gaps.LengthWithin(size - 1));
}

void CTaskMetaFile::SetReadLimitForTesting(uint64_t bytes) { g_readLimit = bytes != 0 ? bytes : kMaxMetaBytes; }

void CTaskMetaFile::RecordError(uint32_t error) {
  m_lastError = static_cast<int32_t>(error);
  m_errorKind = 1;
}

CTaskMetaFile::ReadResult CTaskMetaFile::ReadWhole(const std::wstring& path, ProtoValue& value) {
  value.clear();
  CFileExException error;
  if (!m_file.Open(path, kReadFlags, &error)) {
    RecordError(static_cast<uint32_t>(error.m_code));
    LOGE(L"[CTaskMetaFile::LoadFile]打开错误 %d:%d %s", 1, error.m_code, path);
    return error.m_code == static_cast<int32_t>(platform::ERROR_FILE_NOT_FOUND) ? ReadResult::kMissing
                                                                                : ReadResult::kUnreadable;
  }
  std::string bytes;
  try {
    const uint64_t size = m_file.SeekToEnd();
    if (size == 0) {
      m_file.Close();
      LOGE(L"下载配置文件没有内容 %s", path);
      return ReadResult::kEmpty;
    }
    if (size > g_readLimit) {
      LOGE(L"下载配置文件过大 %s %lld", path, size);
      const bool skimmed = MetaSkimmer(m_file, size).ReadMap(value);
      m_file.Close();
      if (!skimmed) {
        value.clear();
        return ReadResult::kTorn;
      }
      LOGI(L"下载配置文件过大，略过事件记录，保留下载进度 %s", path);
      return ReadResult::kOk;
    }
    m_file.Seek(0, 0);
    bytes.resize(static_cast<size_t>(size));
    const uint32_t read = m_file.Read(bytes.data(), static_cast<uint32_t>(size));
    bytes.resize(read);
    m_file.Close();
  } catch (const CFileExException& e) {
    m_file.Abort();
    RecordError(static_cast<uint32_t>(e.m_code));
    LOGE(L"下载配置Read失败 %s %d ", path, e.m_code);
    return ReadResult::kUnreadable;
  }
  if (bytes.empty()) {
    LOGE(L"下载配置Read失败 %s %d ", path, platform::GetLastError());
    return ReadResult::kUnreadable;
  }
  // A partly read tree must never pass for the whole: a cut gap list would mark missing bytes as
  // present. Bytes after one whole value are what an older, longer backup left; they are ignored.
  if (!ParseProtoValue(bytes, value) || value.type() != PV_MAP) {
    value.clear();
    LOGE(L"下载配置解析失败 %s %lld", path, static_cast<int64_t>(bytes.size()));
    return ReadResult::kTorn;
  }
  return ReadResult::kOk;
}

bool CTaskMetaFile::LoadFile(const std::wstring& path) {
  m_path = path;
  m_root.clear();
  if (ReadWhole(path, m_root) == ReadResult::kOk) return true;
  // The meta file is replaced only by a whole backup, so a usable backup beside an unusable meta
  // file is the last save whose move did not happen.
  const std::wstring backup = BackupPath();
  if (!FileExists(backup)) return false;
  if (ReadWhole(backup, m_root) != ReadResult::kOk) return false;
  LOGI(L"下载配置使用备份文件 %s", backup);
  return true;
}

bool CTaskMetaFile::Save() {
  if (m_root.size() == 0 || m_path.empty()) return false;
  std::string bytes;
  if (!SerializeProtoValue(m_root, bytes)) return false;
  const std::wstring backup = BackupPath();
  CFileExException error;
  if (!m_file.Open(backup, kBackupFlags, &error)) {
    RecordError(static_cast<uint32_t>(error.m_code));
    LOGE(L"[CTaskMetaFile::Save]打开错误 %d:%d %s", 1, error.m_code, backup);
    return false;
  }
  try {
    m_file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    // A longer content of an earlier failed save would otherwise stay behind the new one.
    m_file.SetLength(bytes.size());
    m_file.Close();
  } catch (const CFileExException& e) {
    m_file.Abort();
    RecordError(static_cast<uint32_t>(e.m_code));
    LOGE(L"[CTaskMetaFile::Save]写入错误 %d:%d %s", 1, e.m_code, backup);
    return false;
  }
  if (!MoveFileWithRetry(backup, m_path, 0)) {
    RecordError(platform::GetLastError());
    LOGE(L"[CTaskMetaFile::Save]移动错误 %d:%d %s", 1, m_lastError, m_path);
    return false;
  }
  return true;
}

void CTaskMetaFile::DeleteFiles() {
  m_file.Abort();
  DeleteFileIfExists(m_path);
  DeleteFileIfExists(BackupPath());
  LOGI(L"配置零时文件已经删除完毕");
}

void CTaskMetaFile::Encode(const TaskMetaData& data, const CTaskLog& log, ProtoValue& root) {
  root.clear();
  root[L"ft"] = data.fileTime;
  root[L"fs"] = data.fileSize;
  root[L"fh"] = data.fileHash;
  root[L"ps"] = data.p2pBytes;
  root[L"ct"] = data.elapsedMs;
  root[L"is_cdn"] = data.usedCdn ? 1 : 0;
  ProtoValue& logMap = root[L"log"];
  logMap = ProtoValue(PV_MAP);
  log.SaveTo(logMap);
  ProtoValue& gaps = root[L"gl"];
  gaps = ProtoValue(PV_ARRAY);
  for (const ByteRange& r : data.gaps) {
    ProtoValue range;
    range[L"start"] = static_cast<int64_t>(r.start);
    range[L"end"] = static_cast<int64_t>(r.end);
    gaps.push_back(std::move(range));
  }
}

bool CTaskMetaFile::Decode(const ProtoValue& root, int64_t fileSize, const std::wstring& fileHash, TaskMetaData& out,
                           std::wstring* reason) {
  auto refuse = [&](const wchar_t* why) {
    if (reason) *reason = why;
    out = {};
    return false;
  };
  out = {};
  if (root.type() != PV_MAP) return refuse(L"not a map");
  const ProtoValue& hash = root.Lookup(L"fh");
  if (hash.type() != PV_NULL && hash.type() != PV_STRING) return refuse(L"fh");
  out.fileHash = hash.string();
  int64_t usedCdn = 0;
  if (!ReadInteger(root, L"ft", out.fileTime) || !ReadInteger(root, L"fs", out.fileSize) ||
      !ReadInteger(root, L"ps", out.p2pBytes) || !ReadInteger(root, L"ct", out.elapsedMs) ||
      !ReadInteger(root, L"is_cdn", usedCdn)) {
    return refuse(L"a value of the wrong kind");
  }
  out.usedCdn = usedCdn != 0;
  if (out.fileSize != fileSize) return refuse(L"another file size");
  if (out.fileHash != fileHash) return refuse(L"another file hash");
  if (out.p2pBytes < 0 || out.elapsedMs < 0) return refuse(L"a negative counter");
  if (!ReadGaps(root.Lookup(L"gl"), fileSize, out.gaps)) return refuse(L"gl");
  if (!CTaskLog::Parse(root.Lookup(L"log"), out.log)) return refuse(L"log");
  return true;
}
