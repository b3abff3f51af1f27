#include "commonlib/core/FileEx.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "tests/commonlib/util/file_test_support.h"

namespace {

using vkqx_test::ReadHostFile;
using vkqx_test::WriteHostFile;

class FileExTest : public ::testing::Test {
 protected:
  vkqx_test::MappedDrives drives;
  std::string Host(const std::string& name) { return drives.c + "/" + name; }
};

TEST_F(FileExTest, OpenOfAMissingFileFillsTheErrorRecord) {
  CFileEx file;
  CFileExException error;
  EXPECT_FALSE(file.Open(L"C:\\missing.dat", 0x80A0, &error));
  EXPECT_EQ(error.m_code, 2);
  EXPECT_EQ(error.m_message, L"INVALID_HANDLE_VALUE");
  EXPECT_EQ(file.m_hFile, platform::kInvalidFile);
  EXPECT_EQ(file.m_closeOnDelete, 0);
  // Without a record nothing is reported, and nothing is thrown either way.
  EXPECT_FALSE(file.Open(L"C:\\nodir\\missing.dat", 0x80A0, nullptr));
  EXPECT_FALSE(file.Open(L"C:\\nodir\\missing.dat", 0x80A0, &error));
  EXPECT_EQ(error.m_code, 3);
  EXPECT_FALSE(file.Open(L"", 0x80A0, &error));
  EXPECT_FALSE(file.Open(L"\\\\server\\share\\f", 0x80A0, &error));
  EXPECT_FALSE(file.Open(L"C:\\", 0x80A0, &error));
  EXPECT_EQ(error.m_code, 5);
}

struct FlagCase {
  uint32_t flags;
  bool existing;
  const char* contentAfterOpen;  // nullptr: the open fails
  bool reads;
  bool writes;
};

class FileExFlagsTest : public FileExTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FileExFlagsTest, OpenFlagsChooseAccessAndDisposition) {
  const FlagCase& tc = GetParam();
  if (tc.existing) WriteHostFile(Host("f"), "old");
  CFileEx file;
  CFileExException error;
  const bool opened = file.Open(L"C:\\f", tc.flags, &error);
  ASSERT_EQ(opened, tc.contentAfterOpen != nullptr) << std::hex << tc.flags;
  if (!opened) return;
  EXPECT_EQ(file.m_closeOnDelete, 1);
  EXPECT_EQ(file.m_fileName, L"C:\\f");
  EXPECT_EQ(ReadHostFile(Host("f")), tc.contentAfterOpen);
  char buffer[8];
  if (tc.reads) {
    EXPECT_EQ(file.Read(buffer, sizeof buffer), std::string(tc.contentAfterOpen).size());
  } else {
    EXPECT_THROW(file.Read(buffer, sizeof buffer), CFileExException);
  }
  file.Seek(0, 2);
  if (tc.writes) {
    file.Write("+", 1);
    file.Close();
    EXPECT_EQ(ReadHostFile(Host("f")), std::string(tc.contentAfterOpen) + "+");
  } else {
    EXPECT_THROW(file.Write("+", 1), CFileExException);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, FileExFlagsTest,
    ::testing::Values(FlagCase{0x90A1, true, "", false, true},       // create or truncate for writing
                      FlagCase{0x90A1, false, "", false, true},
                      FlagCase{0xB0C2, true, "old", true, true},     // open or create, keep the contents
                      FlagCase{0xB0C2, false, "", true, true},
                      FlagCase{0x80A0, true, "old", true, false},    // an existing file for reading
                      FlagCase{0x80A0, false, nullptr, false, false},
                      FlagCase{0xB0A2, true, "old", true, true},
                      FlagCase{0x2002, false, nullptr, false, false},  // no truncate alone does not create
                      FlagCase{0x0003, true, "old", false, false}));   // access bits 3: neither

TEST_F(FileExTest, WriteErrorsCarryTheFileName) {
  WriteHostFile(Host("f"), "abc");
  CFileEx file;
  ASSERT_TRUE(file.Open(L"C:\\f", 0x80A0, nullptr));
  try {
    file.Write("x", 1);
    FAIL() << "a write through a read handle must throw";
  } catch (const CFileExException& e) {
    EXPECT_EQ(e.m_code, 5);
    EXPECT_EQ(e.m_message, L"C:\\f");
  }
}

TEST_F(FileExTest, ThrowsCarryTheHeadersPosition) {
  CFileEx closed;
  char c;
  try {
    closed.Read(&c, 1);
    FAIL() << "a read of a closed file must throw";
  } catch (const CFileExException& e) {
    EXPECT_EQ(e.m_code, 6);
    EXPECT_EQ(e.m_message, L"");
    const std::wstring suffix = L"commonlib/core/FileEx.h";
    ASSERT_GE(e.m_sourceFile.size(), suffix.size());
    EXPECT_EQ(e.m_sourceFile.substr(e.m_sourceFile.size() - suffix.size()), suffix);
    std::ifstream header(vkqx_test::SourceDir() + "/commonlib/core/FileEx.h");
    std::string line;
    int number = 0, throwLine = 0;
    while (std::getline(header, line)) {
      ++number;
      if (line.find("throw CFileExException(") != std::string::npos) throwLine = number;
    }
    EXPECT_EQ(e.m_sourceLine, throwLine);
  }
}

TEST_F(FileExTest, ReadAtTheEndAndEmptyTransfers) {
  CFileEx file;
  char buffer[4];
  EXPECT_EQ(file.Read(buffer, 0), 0u);  // no system call, so no throw on a closed file
  file.Write("x", 0);
  file.Flush();
  ASSERT_TRUE(file.Open(L"C:\\f", 0xB0C2, nullptr));
  file.Write("ab", 2);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
  file.Seek(0, 0);
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 2u);
}

TEST_F(FileExTest, SeeksAndLengthsAre64Bit) {
  CFileEx file;
  ASSERT_TRUE(file.Open(L"C:\\big", 0xB0C2, nullptr));
  constexpr uint64_t kBig = 6'000'000'123ULL;
  EXPECT_NE(file.SetLength(kBig), 0);
  EXPECT_EQ(file.GetPosition(), kBig);
  EXPECT_EQ(file.SeekToEnd(), kBig);
  EXPECT_EQ(file.Seek(-123, 2), 6'000'000'000ULL);
  file.Write("Z", 1);
  EXPECT_EQ(file.Seek(-1, 1), 6'000'000'000ULL);
  char c = 0;
  EXPECT_EQ(file.Read(&c, 1), 1u);
  EXPECT_EQ(c, 'Z');
  EXPECT_EQ(file.SetLength(10), 1);
  EXPECT_EQ(file.GetPosition(), 10u);
  EXPECT_EQ(file.SeekToEnd(), 10u);
  try {
    file.Seek(-11, 2);
    FAIL() << "a seek before the start must throw";
  } catch (const CFileExException& e) {
    EXPECT_EQ(e.m_code, static_cast<int32_t>(platform::ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(e.m_message, L"");
  }
  EXPECT_EQ(file.GetPosition(), 10u);
  EXPECT_THROW(file.Seek(0, 7), CFileExException);
  EXPECT_THROW(file.SetLength(~0ULL), CFileExException);
}

TEST_F(FileExTest, CloseTwiceOnlyClearsTheSecondTime) {
  CFileEx file;
  ASSERT_TRUE(file.Open(L"C:\\f", 0x90A1, nullptr));
  file.Close();
  EXPECT_EQ(file.m_hFile, platform::kInvalidFile);
  EXPECT_EQ(file.m_closeOnDelete, 0);
  EXPECT_EQ(file.m_fileName, L"");
  EXPECT_NO_THROW(file.Close());
  EXPECT_NO_THROW(file.Abort());
  EXPECT_EQ(file.m_fileName, L"");
}

TEST_F(FileExTest, SharingFlagsHoldOtherHandlesBack) {
  WriteHostFile(Host("meta"), "m");
  CFileEx reader;
  ASSERT_TRUE(reader.Open(L"C:\\meta", 0x80A0, nullptr));  // others may read
  CFileEx second;
  EXPECT_TRUE(second.Open(L"C:\\meta", 0x80A0, nullptr));
  second.Close();
  CFileExException error;
  EXPECT_FALSE(second.Open(L"C:\\meta", 0xB0C2, &error));  // wants to write
  EXPECT_EQ(error.m_code, 32);
  reader.Abort();
  EXPECT_TRUE(second.Open(L"C:\\meta", 0xB0C2, nullptr));
  CFileEx third;
  EXPECT_TRUE(third.Open(L"C:\\meta", 0xB0C2, nullptr));  // full sharing on both sides
}

TEST_F(FileExTest, ReopenAndDestructionReleaseTheHandle) {
  constexpr uint32_t kExclusive = FILEEX_READWRITE | FILEEX_SHARE_EXCLUSIVE | FILEEX_CREATE | FILEEX_NO_TRUNCATE;
  {
    CFileEx file;
    ASSERT_TRUE(file.Open(L"C:\\x", kExclusive, nullptr));
    // The earlier handle of the same object does not stand in the way.
    ASSERT_TRUE(file.Open(L"C:\\x", kExclusive, nullptr));
    CFileEx other;
    EXPECT_FALSE(other.Open(L"C:\\x", kExclusive, nullptr));
  }
  CFileEx after;
  EXPECT_TRUE(after.Open(L"C:\\x", kExclusive, nullptr));
}

TEST_F(FileExTest, NoInheritMeansCloseOnExec) {
  auto closeOnExec = [&](const std::string& host) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      if (std::filesystem::read_symlink(entry.path(), ec) != host) continue;
      std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
      std::string key, value;
      while (info >> key >> value)
        if (key == "flags:") return (std::stol(value, nullptr, 8) & 02000000) != 0;
    }
    ADD_FAILURE() << "no descriptor for " << host;
    return false;
  };
  CFileEx inherited, private_;
  ASSERT_TRUE(inherited.Open(L"C:\\a", 0x9021, nullptr));
  ASSERT_TRUE(private_.Open(L"C:\\b", 0x90A1, nullptr));
  EXPECT_FALSE(closeOnExec(Host("a")));
  EXPECT_TRUE(closeOnExec(Host("b")));
}

TEST_F(FileExTest, AFullDiskThrowsDiskFullWithTheFileName) {
  std::string whyNot;
  const std::string mountPoint = drives.tmp.Sub("small");
  auto mount = vkqx_test::ScratchMount::Tmpfs(mountPoint, 64 * 1024, &whyNot);
  if (!mount) GTEST_SKIP() << whyNot;
  drives.AddDrive('F', mountPoint);
  CFileEx file;
  ASSERT_TRUE(file.Open(L"F:\\data.tmp", 0xB0C2, nullptr));
  const std::vector<char> block(256 * 1024, 'q');
  try {
    file.Write(block.data(), static_cast<uint32_t>(block.size()));
    FAIL() << "a write past a full disk must throw";
  } catch (const CFileExException& e) {
    EXPECT_EQ(e.m_code, 112);
    EXPECT_EQ(e.m_message, L"F:\\data.tmp");
  }
  file.Abort();
}

TEST(FileExExceptionTest, DescribeAndCopy) {
  CFileExException e(5, L"", "src/x.cpp", 7);
  std::wstring text;
  e.Describe(text);
  EXPECT_EQ(text, L"[Exception]src/x.cpp(7): code:5 errMsg:");
  CFileExException copy = e;
  EXPECT_EQ(copy.m_code, 5);
  EXPECT_EQ(copy.m_sourceFile, L"src/x.cpp");
  EXPECT_EQ(copy.m_sourceLine, 7);
  IException& base = copy;
  EXPECT_TRUE(base.Report());
}

}  // namespace
