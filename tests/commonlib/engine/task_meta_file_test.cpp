#include "commonlib/engine/TaskMetaFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "commonlib/core/ProtoValueStream.h"
#include "commonlib/engine/DownloadBlock.h"
#include "platform/file.h"
#include "tests/commonlib/engine/engine_test_support.h"

namespace {

using engine_test::TempDrive;

constexpr uint64_t L = kHttpBlockLimit;
const std::wstring kHash = L"0123456789abcdef0123456789abcdef";
const std::string kMeta = "a.exe.vkdt.vkmt";

std::vector<ByteRange> Ranges(const RangeList& list) { return {list.begin(), list.end()}; }

TaskMetaData SampleData(int64_t size) {
  TaskMetaData data;
  data.fileTime = 1531819040;
  data.fileSize = size;
  data.fileHash = kHash;
  data.elapsedMs = 12345;
  data.usedCdn = true;
  ResetToWholeFile(data.gaps, size);
  return data;
}

std::string SavedBytes(const TaskMetaData& data, const CTaskLog& log) {
  ProtoValue root;
  CTaskMetaFile::Encode(data, log, root);
  std::string bytes;
  EXPECT_TRUE(SerializeProtoValue(root, bytes));
  return bytes;
}

class TaskMetaFileTest : public ::testing::Test {
 protected:
  std::wstring MetaPath() const { return TempDrive::Path(kMeta); }

  // Loads and decodes as a task starting with (size, hash) does; false means a fresh start.
  bool Resume(int64_t size, const std::wstring& hash, TaskMetaData& out) {
    CTaskMetaFile meta;
    if (!meta.LoadFile(MetaPath())) return false;
    return CTaskMetaFile::Decode(meta.Root(), size, hash, out, nullptr);
  }

  TempDrive drive;
};

TEST_F(TaskMetaFileTest, SaveAndResumeRoundTrip) {
  CTaskLog log;
  log.AppendLine(kLogTaskState, L"开始下载:http://dl.example/a.exe");
  log.AddSourceBytes(L"127.0.0.2", 2 * L);
  TaskMetaData data = SampleData(5 * L);
  data.gaps.Subtract(0, 2 * L - 1);

  CTaskMetaFile meta;
  meta.SetPath(MetaPath());
  CTaskMetaFile::Encode(data, log, meta.Root());
  ASSERT_TRUE(meta.Save());
  EXPECT_FALSE(drive.Exists(kMeta + ".mbk"));  // moved over the meta file

  TaskMetaData loaded;
  ASSERT_TRUE(Resume(5 * L, kHash, loaded));
  EXPECT_EQ(data.fileTime, loaded.fileTime);
  EXPECT_EQ(data.elapsedMs, loaded.elapsedMs);
  EXPECT_TRUE(loaded.usedCdn);
  EXPECT_EQ(Ranges(data.gaps), Ranges(loaded.gaps));
  EXPECT_EQ(log.Lines(), loaded.log.lines);
  EXPECT_EQ(2 * static_cast<int64_t>(L), loaded.log.bytesBySource.at(L"127.0.0.2"));
  EXPECT_EQ(2 * static_cast<int64_t>(L), DownloadedBytes(loaded.gaps, 5 * L));
}

TEST_F(TaskMetaFileTest, StoppedTaskSavesWhatRunningBlocksWrote) {
  // Five blocks: two done, the third half written, the others not started.
  RangeList gaps;
  ResetToWholeFile(gaps, 5 * L);
  gaps.Subtract(0, 2 * L - 1);
  BlockList blocks;
  blocks.push_back(std::make_unique<DownloadBlock>(DownloadBlock{2 * L, 3 * L - 1, static_cast<uint32_t>(L / 2)}));
  TaskMetaData data = SampleData(5 * L);
  FreeRanges(gaps, blocks, false, data.gaps);
  CTaskMetaFile meta;
  meta.SetPath(MetaPath());
  CTaskMetaFile::Encode(data, CTaskLog(), meta.Root());
  ASSERT_TRUE(meta.Save());

  TaskMetaData loaded;
  ASSERT_TRUE(Resume(5 * L, kHash, loaded));
  EXPECT_EQ((std::vector<ByteRange>{{2 * L + L / 2, 5 * L - 1}}), Ranges(loaded.gaps));
}

TEST_F(TaskMetaFileTest, EmptyOrMissingFileMeansFreshStart) {
  vkqx_test::TraceCapture capture;
  TaskMetaData out;
  EXPECT_FALSE(Resume(100, kHash, out));
  EXPECT_TRUE(capture.Has(L"[CTaskMetaFile::LoadFile]打开错误 1:2 C:\\" + platform::Utf8ToWide(kMeta)));
  drive.Write(kMeta, "");
  EXPECT_FALSE(Resume(100, kHash, out));
  EXPECT_TRUE(capture.Has(L"下载配置文件没有内容"));
}

// Every cut of a whole file is refused: a shortened gap list would mark missing bytes as present.
TEST_F(TaskMetaFileTest, TornFileIsNeverTrusted) {
  CTaskLog log;
  log.AppendLine(kLogTaskState, L"开始下载:u");
  TaskMetaData data = SampleData(5 * L);
  data.gaps.Subtract(L, 2 * L - 1);
  data.gaps.Subtract(3 * L, 4 * L - 1);
  const std::string whole = SavedBytes(data, log);
  for (size_t cut = 1; cut < whole.size(); ++cut) {
    drive.Write(kMeta, whole.substr(0, cut));
    CTaskMetaFile meta;
    EXPECT_FALSE(meta.LoadFile(MetaPath())) << "cut at " << cut;
    EXPECT_EQ(PV_NULL, meta.Root().type());
  }
  // What an older, longer backup leaves after a whole value is ignored.
  drive.Write(kMeta, whole + std::string("\x06\x05garbage", 9));
  TaskMetaData loaded;
  ASSERT_TRUE(Resume(5 * L, kHash, loaded));
  EXPECT_EQ(Ranges(data.gaps), Ranges(loaded.gaps));
}

// Older versions kept every event line of every run, so a meta file could pass the read limit: its
// progress is kept (read without the record); a cut of it is still refused.
TEST_F(TaskMetaFileTest, AFilePastTheReadLimitKeepsItsProgress) {
  CTaskLog log;
  for (int i = 0; i < 200; ++i) log.AppendLine(kLogSourceRetry, L"下载源dl.example 第1次重试 et:3 ec:3002");
  log.AddSourceBytes(L"dl.example", 3 * L);
  TaskMetaData data = SampleData(5 * L);
  data.gaps.Subtract(0, 3 * L - 1);
  data.p2pBytes = 7;
  const std::string whole = SavedBytes(data, log);
  CTaskMetaFile::SetReadLimitForTesting(whole.size() / 4);
  drive.Write(kMeta, whole);
  TaskMetaData loaded;
  const bool resumed = Resume(5 * L, kHash, loaded);
  std::vector<size_t> acceptedCuts;
  for (size_t cut = 1; cut < whole.size(); cut += 37) {
    drive.Write(kMeta, whole.substr(0, cut));
    CTaskMetaFile meta;
    if (meta.LoadFile(MetaPath())) acceptedCuts.push_back(cut);
  }
  CTaskMetaFile::SetReadLimitForTesting(0);
  ASSERT_TRUE(resumed);
  EXPECT_EQ(Ranges(data.gaps), Ranges(loaded.gaps));
  EXPECT_EQ(loaded.p2pBytes, 7);
  EXPECT_EQ(loaded.elapsedMs, data.elapsedMs);
  EXPECT_TRUE(loaded.usedCdn);
  EXPECT_TRUE(loaded.log.lines.empty());
  EXPECT_TRUE(acceptedCuts.empty()) << "a cut at " << acceptedCuts.front() << " was taken for the whole";
}

TEST_F(TaskMetaFileTest, TornMetaFileFallsBackToTheBackup) {
  TaskMetaData data = SampleData(3 * L);
  data.gaps.Subtract(0, L - 1);
  const std::string whole = SavedBytes(data, CTaskLog());
  drive.Write(kMeta, whole.substr(0, whole.size() / 2));
  drive.Write(kMeta + ".mbk", whole);
  vkqx_test::TraceCapture capture;
  TaskMetaData loaded;
  ASSERT_TRUE(Resume(3 * L, kHash, loaded));
  EXPECT_EQ(Ranges(data.gaps), Ranges(loaded.gaps));
  EXPECT_TRUE(capture.Has(L"下载配置使用备份文件"));

  // A torn backup beside a torn meta file: fresh start.
  drive.Write(kMeta + ".mbk", whole.substr(0, 7));
  EXPECT_FALSE(Resume(3 * L, kHash, loaded));
}

TEST_F(TaskMetaFileTest, SaveWhileTheMetaFileIsHeldKeepsTheOld) {
  CTaskMetaFile meta;
  meta.SetPath(MetaPath());
  TaskMetaData first = SampleData(2 * L);
  CTaskMetaFile::Encode(first, CTaskLog(), meta.Root());
  ASSERT_TRUE(meta.Save());
  const std::string old = drive.Read(kMeta);

  // Another process holds the meta file without delete sharing: it cannot be replaced.
  platform::FileHandle held = platform::CreateFile(MetaPath(), platform::GENERIC_READ, platform::FILE_SHARE_READ,
                                                   platform::OPEN_EXISTING, false);
  ASSERT_NE(platform::kInvalidFile, held);
  TaskMetaData second = first;
  second.gaps.Subtract(0, L - 1);
  CTaskMetaFile::Encode(second, CTaskLog(), meta.Root());
  EXPECT_FALSE(meta.Save());
  platform::CloseHandle(held);
  EXPECT_EQ(old, drive.Read(kMeta));
  EXPECT_EQ(SavedBytes(second, CTaskLog()), drive.Read(kMeta + ".mbk"));

  // The next save writes a shorter content over the leftover backup and cuts it to size.
  TaskMetaData third = second;
  third.gaps.Clear();
  CTaskMetaFile::Encode(third, CTaskLog(), meta.Root());
  ASSERT_TRUE(meta.Save());
  EXPECT_EQ(SavedBytes(third, CTaskLog()), drive.Read(kMeta));
}

TEST_F(TaskMetaFileTest, DeleteFilesRemovesMetaAndBackup) {
  drive.Write(kMeta, "x");
  drive.Write(kMeta + ".mbk", "y");
  CTaskMetaFile meta;
  meta.SetPath(MetaPath());
  meta.DeleteFiles();
  EXPECT_FALSE(drive.Exists(kMeta));
  EXPECT_FALSE(drive.Exists(kMeta + ".mbk"));
}

struct CorruptCase {
  const char* name;
  std::function<void(ProtoValue&)> spoil;
};

// Values of the wrong kind or range, and files of another download, all mean a fresh start.
TEST(TaskMetaDecodeTest, DoubtfulContentMeansFreshStart) {
  const int64_t size = 3 * L;
  const CorruptCase cases[] = {
      {"fs another size", [](ProtoValue& r) { r[L"fs"] = 3 * L + 1; }},
      {"fs missing", [](ProtoValue& r) { r = ProtoValue(); r[L"fh"] = kHash; }},
      {"fh another hash", [](ProtoValue& r) { r[L"fh"] = L"ffffffffffffffffffffffffffffffff"; }},
      {"fs a string", [](ProtoValue& r) { r[L"fs"] = L"3932160"; }},
      {"fh an integer", [](ProtoValue& r) { r[L"fh"] = 7; }},
      {"ft a real", [](ProtoValue& r) { r[L"ft"] = 1.5; }},
      {"ct a string", [](ProtoValue& r) { r[L"ct"] = L"1"; }},
      {"ct negative", [](ProtoValue& r) { r[L"ct"] = -5; }},
      {"ps a map", [](ProtoValue& r) { r[L"ps"] = ProtoValue(); r[L"ps"][L"x"] = 1; }},
      {"is_cdn a string", [](ProtoValue& r) { r[L"is_cdn"] = L"1"; }},
      {"gl a map", [](ProtoValue& r) { r[L"gl"] = ProtoValue(); r[L"gl"][L"start"] = 0; }},
      {"gl element an integer", [](ProtoValue& r) { r[L"gl"].push_back(ProtoValue(4)); }},
      {"gl start missing", [](ProtoValue& r) { r[L"gl"][0u] = ProtoValue(); r[L"gl"][0u][L"end"] = 10; }},
      {"gl end a string", [](ProtoValue& r) { r[L"gl"][0u][L"end"] = L"10"; }},
      {"gl start after end", [](ProtoValue& r) { r[L"gl"][0u][L"start"] = 20; r[L"gl"][0u][L"end"] = 10; }},
      {"gl beyond the file", [](ProtoValue& r) { r[L"gl"][0u][L"end"] = 3 * L; }},
      {"gl negative", [](ProtoValue& r) { r[L"gl"][0u][L"start"] = -1; }},
      {"log an array", [](ProtoValue& r) { r[L"log"] = ProtoValue(); r[L"log"].push_back(ProtoValue(1)); }},
      {"log lines not strings", [](ProtoValue& r) { r[L"log"][L"tl"].push_back(ProtoValue(1)); }},
      {"log bytes not integers", [](ProtoValue& r) { r[L"log"][L"ws"][L"a"] = L"1"; }},
      {"root an array", [](ProtoValue& r) { r = ProtoValue(); r.push_back(ProtoValue(1)); }},
      {"root null", [](ProtoValue& r) { r = ProtoValue(); }},
  };
  TaskMetaData data = SampleData(size);
  ProtoValue good;
  CTaskMetaFile::Encode(data, CTaskLog(), good);
  TaskMetaData out;
  ASSERT_TRUE(CTaskMetaFile::Decode(good, size, kHash, out, nullptr));
  for (const CorruptCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProtoValue root = good;
    c.spoil(root);
    std::wstring reason;
    TaskMetaData decoded = SampleData(size);
    EXPECT_FALSE(CTaskMetaFile::Decode(root, size, kHash, decoded, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(decoded.gaps.empty());  // nothing of a refused file is kept
    EXPECT_EQ(0, decoded.elapsedMs);
  }
}

TEST(TaskMetaDecodeTest, MissingKeysReadAsZero) {
  ProtoValue root;
  root[L"fs"] = 100;
  root[L"fh"] = kHash;
  TaskMetaData out;
  ASSERT_TRUE(CTaskMetaFile::Decode(root, 100, kHash, out, nullptr));
  EXPECT_EQ(0, out.elapsedMs);
  EXPECT_FALSE(out.usedCdn);
  EXPECT_TRUE(out.gaps.empty());  // no gap list: nothing missing
}

// The stored form is fixed: meta files written by earlier versions must stay readable.
TEST(TaskMetaDecodeTest, StoredBytes) {
  TaskMetaData data;
  data.fileTime = 1;
  data.fileSize = 100;
  data.fileHash = L"ab";
  data.elapsedMs = 7;
  data.usedCdn = true;
  data.gaps.Add(10, 99);
  const std::string expected(
      "\x06\x08\x04\x63\x00\x74\x00\x01\x07\x04\x66\x00\x68\x00\x04\x04\x61\x00\x62\x00\x04\x66\x00\x73"
      "\x00\x01\x64\x04\x66\x00\x74\x00\x01\x01\x04\x67\x00\x6c\x00\x05\x01\x06\x02\x06\x65\x00\x6e\x00"
      "\x64\x00\x01\x63\x0a\x73\x00\x74\x00\x61\x00\x72\x00\x74\x00\x01\x0a\x0c\x69\x00\x73\x00\x5f\x00"
      "\x63\x00\x64\x00\x6e\x00\x01\x01\x06\x6c\x00\x6f\x00\x67\x00\x06\x00\x04\x70\x00\x73\x00\x01\x00",
      96);
  EXPECT_EQ(expected, SavedBytes(data, CTaskLog()));
  ProtoValue root;
  ASSERT_TRUE(ParseProtoValue(expected, root));
  TaskMetaData out;
  ASSERT_TRUE(CTaskMetaFile::Decode(root, 100, L"ab", out, nullptr));
  EXPECT_EQ((std::vector<ByteRange>{{10, 99}}), Ranges(out.gaps));
  EXPECT_TRUE(out.usedCdn);
}

TEST(TaskMetaDecodeTest, EncodedFormAndEmptyFile) {
  TaskMetaData data = SampleData(0);
  ProtoValue root;
  CTaskMetaFile::Encode(data, CTaskLog(), root);
  EXPECT_EQ(1, root.Lookup(L"is_cdn").integer());
  EXPECT_EQ(PV_ARRAY, root.Lookup(L"gl").type());
  EXPECT_EQ(0u, root.Lookup(L"gl").size());
  std::string bytes;
  ASSERT_TRUE(SerializeProtoValue(root, bytes));
  ProtoValue back;
  ASSERT_TRUE(ParseProtoValue(bytes, back));
  TaskMetaData out;
  ASSERT_TRUE(CTaskMetaFile::Decode(back, 0, kHash, out, nullptr));
  EXPECT_TRUE(IsFileComplete(out.gaps, 0));
  EXPECT_EQ(0, DownloadedBytes(out.gaps, 0));
}

}  // namespace
