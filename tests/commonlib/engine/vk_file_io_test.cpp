// labels: threaded
#include "commonlib/peer/VKFileIO.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "commonlib/util/FileUtils.h"
#include "tests/commonlib/engine/engine_test_support.h"

namespace {

using engine_test::TempDrive;

constexpr uint64_t L = 1310720;
const std::string kData = "a.exe.vkdt";

std::string Pattern(size_t n, char seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i % 23);
  return s;
}

std::wstring Range(uint64_t first, uint64_t last, uint64_t total) {
  return L"bytes " + std::to_wstring(first) + L"-" + std::to_wstring(last) + L"/" + std::to_wstring(total);
}

class FileIOTest : public ::testing::Test {
 protected:
  CRefPtr<CDownloadDataFile> OpenData() {
    uint32_t error = 0;
    CRefPtr<CDownloadDataFile> file = CDownloadDataFile::Open(TempDrive::Path(kData), &error);
    EXPECT_TRUE(file) << error;
    return file;
  }
  // A file of `size` bytes filled with '.', to see which bytes a writer changed.
  void Fill(size_t size) { drive.Write(kData, std::string(size, '.')); }

  static void ExpectError(const CVKDownloadFileIO& io, int32_t kind, int32_t code) {
    int32_t k = 0;
    int32_t c = 0;
    io.GetError(&k, &c);
    EXPECT_EQ(kind, k);
    EXPECT_EQ(code, c);
  }

  TempDrive drive;
};

TEST_F(FileIOTest, CreateEmptyFileSizesAndKeeps) {
  ASSERT_TRUE(CreateEmptyFile(TempDrive::Path(kData), 3 * L));
  EXPECT_EQ(3 * L, drive.Read(kData).size());
  EXPECT_EQ(std::string(3 * L, '\0'), drive.Read(kData));

  drive.Write(kData, "keep these bytes, cut the rest");
  ASSERT_TRUE(CreateEmptyFile(TempDrive::Path(kData), 10));
  EXPECT_EQ("keep these", drive.Read(kData));
  ASSERT_TRUE(CreateEmptyFile(TempDrive::Path(kData), 0));
  EXPECT_EQ("", drive.Read(kData));  // an empty download has an empty file

  vkqx_test::TraceCapture capture;
  uint32_t error = 0;
  EXPECT_FALSE(CreateEmptyFile(L"C:\\missing\\dir\\a.vkdt", 10, &error));
  EXPECT_EQ(3u, error);
  EXPECT_TRUE(capture.Has(L"[CreateEmptyFile]打开错误 1:3 C:\\missing\\dir\\a.vkdt"));
}

TEST_F(FileIOTest, WritesLandAtTheirOffset) {
  Fill(3 * L);
  CVKDownloadFileIO io;
  ASSERT_TRUE(io.open(OpenData(), L, 2 * L - 1, true));
  ASSERT_TRUE(io.AcceptResponse(206, Range(L, 2 * L - 1, 3 * L)));
  const std::string body = Pattern(L, 'a');
  for (size_t at = 0; at < body.size(); at += 16384) {
    const size_t n = std::min<size_t>(16384, body.size() - at);
    ASSERT_EQ(static_cast<int>(n), io.Write(body.data() + at, n));
  }
  EXPECT_EQ(L, io.BytesWritten());
  io.Close();
  const std::string file = drive.Read(kData);
  EXPECT_EQ(std::string(L, '.'), file.substr(0, L));
  EXPECT_EQ(body, file.substr(L, L));
  EXPECT_EQ(std::string(L, '.'), file.substr(2 * L));
}

TEST_F(FileIOTest, WriteAfterCloseFails) {
  Fill(100);
  CVKDownloadFileIO io;
  ASSERT_TRUE(io.open(OpenData(), 0, 99, true));
  ASSERT_TRUE(io.AcceptResponse(206, Range(0, 99, 100)));
  io.Close();
  EXPECT_EQ(-1, io.Write("abc", 3));
  ExpectError(io, 3, 2001);
  EXPECT_EQ(2001, io.LastError());
  EXPECT_EQ(3, io.ErrorKind());
  EXPECT_EQ(std::string(100, '.'), drive.Read(kData));
  // The writer can be opened again.
  ASSERT_TRUE(io.open(OpenData(), 10, 99, true));
  ExpectError(io, 0, 0);
  CVKDownloadFileIO none;
  EXPECT_FALSE(none.open(nullptr, 0, 10, true));
  ExpectError(none, 3, 2001);
}

struct ResponseCase {
  const char* name;
  std::vector<std::pair<int, std::wstring>> responses;  // header blocks in order
  bool rangeRequested;
  bool accepted;
  int32_t kind;
  int32_t code;
};

// Block [100, 199] of a 300-byte file, nothing received yet. No refused response may write.
TEST_F(FileIOTest, OnlyAcceptedResponsesWrite) {
  const ResponseCase cases[] = {
      {"206 for the block", {{206, Range(100, 199, 300)}}, true, true, 0, 0},
      {"206 for less than the block", {{206, Range(100, 149, 300)}}, true, true, 0, 0},
      {"200 to a range request", {{200, L""}}, true, false, 4, 2008},
      {"206 at another offset", {{206, Range(0, 99, 300)}}, true, false, 3, 2009},
      {"206 past the block", {{206, Range(100, 299, 300)}}, true, false, 3, 2009},
      {"206 without Content-Range", {{206, L""}}, true, false, 3, 2009},
      {"206 with a broken Content-Range", {{206, L"bytes 100-x/300"}}, true, false, 3, 2009},
      {"error status", {{404, L""}}, true, false, 4, 404},
      {"redirect then 206", {{302, L""}, {206, Range(100, 199, 300)}}, true, true, 0, 0},
      {"redirect then 200", {{301, L""}, {200, L""}}, true, false, 4, 2008},
      {"200 at a nonzero offset without range", {{200, L""}}, false, false, 4, 2008},
      {"206 of a file that grew", {{206, Range(100, 199, 301)}}, true, false, 3, 2011},
      {"206 of a file that shrank", {{206, Range(100, 199, 250)}}, true, false, 3, 2011},
      {"206 of a file of unknown size", {{206, L"bytes 100-199/*"}}, true, true, 0, 0},
  };
  for (const ResponseCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fill(300);
    CVKDownloadFileIO io;
    ASSERT_TRUE(io.open(OpenData(), 100, 199, c.rangeRequested));
    io.SetFileSize(300);
    bool accepted = true;
    for (const auto& [status, range] : c.responses) accepted = io.AcceptResponse(status, range);
    EXPECT_EQ(c.accepted, accepted);
    ExpectError(io, c.kind, c.code);
    const std::string body = Pattern(50, 'A');
    EXPECT_EQ(c.accepted ? 50 : -1, io.Write(body.data(), body.size()));
    io.Close();
    const std::string file = drive.Read(kData);
    EXPECT_EQ(c.accepted ? std::string(100, '.') + body + std::string(150, '.') : std::string(300, '.'), file);
  }
}

TEST_F(FileIOTest, HeaderMapAndWholeFileRequest) {
  Fill(10);
  CVKDownloadFileIO io;
  ASSERT_TRUE(io.open(OpenData(), 0, 9, false));
  ProtoValue headers;
  headers[L"content-length"] = L"10";
  EXPECT_TRUE(io.AcceptResponseHeaders(200, headers));
  EXPECT_EQ(10, io.Write("0123456789", 10));
  io.Close();
  EXPECT_EQ("0123456789", drive.Read(kData));

  CVKDownloadFileIO ranged;
  ASSERT_TRUE(ranged.open(OpenData(), 4, 9, true));
  ProtoValue partial;
  partial[L"CONTENT-RANGE"] = L" bytes 4-9/10 ";
  EXPECT_TRUE(ranged.AcceptResponseHeaders(206, partial));
}

TEST_F(FileIOTest, BodyBeforeAcceptanceAndDisposeWriteNothing) {
  Fill(300);
  CVKDownloadFileIO early;
  ASSERT_TRUE(early.open(OpenData(), 100, 199, true));
  EXPECT_EQ(-1, early.Write("xyz", 3));
  ExpectError(early, 3, 2010);
  EXPECT_FALSE(early.AcceptResponse(206, Range(100, 199, 300)));  // shut for good

  // The transfer disposes of the sink when a range request is answered in full, before any body.
  CVKDownloadFileIO disposed;
  ASSERT_TRUE(disposed.open(OpenData(), 100, 199, true));
  disposed.Dispose();
  EXPECT_FALSE(disposed.AcceptResponse(206, Range(100, 199, 300)));
  EXPECT_EQ(-1, disposed.Write("xyz", 3));
  ExpectError(disposed, 4, 2008);
  EXPECT_EQ(std::string(300, '.'), drive.Read(kData));
}

// A server that sends more than the block (a wrong Content-Length, or one missing) never writes
// past the block's end; the chunk that would cross it is refused whole.
TEST_F(FileIOTest, NeverWritesPastTheBlock) {
  Fill(300);
  CVKDownloadFileIO io;
  ASSERT_TRUE(io.open(OpenData(), 100, 199, true));
  ASSERT_TRUE(io.AcceptResponse(206, Range(100, 199, 300)));
  const std::string body = Pattern(100, 'a');
  ASSERT_EQ(60, io.Write(body.data(), 60));
  EXPECT_EQ(-1, io.Write(body.data() + 60, 41));
  ExpectError(io, 3, 2009);
  EXPECT_EQ(-1, io.Write(body.data() + 60, 40));  // shut after the overrun
  EXPECT_EQ(60u, io.BytesWritten());
  io.Close();
  EXPECT_EQ(std::string(100, '.') + body.substr(0, 60) + std::string(140, '.'), drive.Read(kData));

  CVKDownloadFileIO exact;
  ASSERT_TRUE(exact.open(OpenData(), 290, 299, true));
  ASSERT_TRUE(exact.AcceptResponse(206, Range(290, 299, 300)));
  EXPECT_EQ(10, exact.Write(body.data(), 10));
  EXPECT_EQ(-1, exact.Write(body.data(), 1));
  EXPECT_EQ(0, std::string(drive.Read(kData)).compare(290, 10, body.substr(0, 10)));
}

// Three writers share one handle, each writing its own block from its own thread in chunks of
// random sizes; the file holds every block exactly.
TEST_F(FileIOTest, ConcurrentWritersOfOneFile) {
  constexpr int kWriters = 3;
  const uint64_t size = 3 * L - 1000;
  ASSERT_TRUE(CreateEmptyFile(TempDrive::Path(kData), size));
  CRefPtr<CDownloadDataFile> file = OpenData();
  std::vector<std::string> bodies;
  std::vector<std::unique_ptr<CVKDownloadFileIO>> writers;
  for (int i = 0; i < kWriters; ++i) {
    const uint64_t start = i * L;
    const uint64_t end = std::min(size, start + L) - 1;
    bodies.push_back(Pattern(end - start + 1, static_cast<char>('a' + i)));
    writers.push_back(std::make_unique<CVKDownloadFileIO>());
    ASSERT_TRUE(writers.back()->open(file, start, end, true));
  }
  file.reset();  // the writers keep the handle
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int i = 0; i < kWriters; ++i) {
    threads.emplace_back([&, i] {
      std::mt19937 random(i);
      CVKDownloadFileIO& io = *writers[i];
      const std::string& body = bodies[i];
      if (!io.AcceptResponse(206, Range(i * L, i * L + body.size() - 1, size))) ++failures;
      for (size_t at = 0; at < body.size();) {
        const size_t n = std::min<size_t>(1 + random() % 20000, body.size() - at);
        if (io.Write(body.data() + at, n) != static_cast<int>(n)) ++failures;
        at += n;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(0, failures.load());
  for (auto& io : writers) io->Close();
  EXPECT_EQ(bodies[0] + bodies[1] + bodies[2], drive.Read(kData));
}

// A Close on the main thread while the transfer thread writes: once Close has returned, the file
// does not change any more.
TEST_F(FileIOTest, CloseStopsAWriterMidStream) {
  Fill(L);
  CVKDownloadFileIO io;
  ASSERT_TRUE(io.open(OpenData(), 0, L - 1, true));
  ASSERT_TRUE(io.AcceptResponse(206, Range(0, L - 1, L)));
  std::atomic<bool> started{false};
  std::atomic<int> refused{0};
  std::thread writer([&] {
    const std::string chunk = Pattern(64, 'x');
    for (uint64_t at = 0; at + chunk.size() <= L; at += chunk.size()) {
      if (io.Write(chunk.data(), chunk.size()) < 0) ++refused;
      started = true;
    }
  });
  while (!started) std::this_thread::yield();
  io.Close();
  const uint64_t written = io.BytesWritten();
  const std::string atClose = drive.Read(kData);
  writer.join();
  EXPECT_EQ(atClose, drive.Read(kData));
  EXPECT_EQ(written, io.BytesWritten());
  EXPECT_EQ(std::string(L - written, '.'), atClose.substr(written));
}

// The finished file moves onto a target of another size while the task still holds it open.
TEST_F(FileIOTest, FinalMoveReplacesTheTarget) {
  drive.Write("a.exe", std::string(5000, 'o'));
  ASSERT_TRUE(CreateEmptyFile(TempDrive::Path(kData), 10));
  CRefPtr<CDownloadDataFile> file = OpenData();
  ASSERT_TRUE(file->WriteAt(0, "0123456789", 10, nullptr));
  EXPECT_TRUE(MoveFileWithRetry(TempDrive::Path(kData), TempDrive::Path("a.exe"), 10));
  file.reset();
  EXPECT_EQ("0123456789", drive.Read("a.exe"));
  EXPECT_FALSE(drive.Exists(kData));
}

TEST(ContentRangeTest, Parse) {
  struct Case {
    const wchar_t* text;
    bool ok;
    uint64_t first;
    uint64_t last;
  };
  const Case cases[] = {
      {L"bytes 0-99/100", true, 0, 99},
      {L"Bytes 100-199/*", true, 100, 199},
      {L"  bytes 1310720-2621439/3000000 ", true, 1310720, 2621439},
      {L"bytes 0-99/99", false, 0, 0},
      {L"bytes 99-0/100", false, 0, 0},
      {L"bytes -5/100", false, 0, 0},
      {L"bytes */100", false, 0, 0},
      {L"bytes 0-99", false, 0, 0},
      {L"items 0-99/100", false, 0, 0},
      {L"bytes +1-99/100", false, 0, 0},
      {L"bytes 99999999999999999999-1/5", false, 0, 0},
      {L"", false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::WideToUtf8(c.text));
    uint64_t first = 7;
    uint64_t last = 7;
    EXPECT_EQ(c.ok, ParseContentRange(c.text, &first, &last));
    if (c.ok) {
      EXPECT_EQ(c.first, first);
      EXPECT_EQ(c.last, last);
    }
  }
}

// A volume too small for the file fails at the sizing with the disk-full error (3, 6 for the
// task). Needs root to mount a small tmpfs; skipped otherwise.
TEST(FileIOFullDiskTest, PreSizingOnAFullVolumeFails) {
  vkqx_test::TempDir dir;
  const std::string mount = dir.Sub("small");
  const std::string mkdir = "mkdir -p '" + mount + "'";
  const std::string command = "mount -t tmpfs -o size=1m tmpfs '" + mount + "' 2>/dev/null";
  if (std::system(mkdir.c_str()) != 0 || std::system(command.c_str()) != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): full-disk case not run";
  }
  setenv("VKQX_DRIVES", ("D:=" + mount).c_str(), 1);
  platform::ReloadDrivesForTesting();
  {
    vkqx_test::TraceCapture capture;
    uint32_t error = 0;
    EXPECT_FALSE(CreateEmptyFile(L"D:\\a.exe.vkdt", 8 << 20, &error));
    EXPECT_EQ(112u, error);
    EXPECT_TRUE(capture.Has(L"CDownloadTask::SetLength D:\\a.exe.vkdt 8388608 1:112"));
    EXPECT_TRUE(CreateEmptyFile(L"D:\\b.vkdt", 4096, &error));
  }
  unsetenv("VKQX_DRIVES");
  platform::ReloadDrivesForTesting();
  const std::string umount = "umount '" + mount + "'";
  EXPECT_EQ(0, std::system(umount.c_str()));
}

}  // namespace
