#include "commonlib/util/MD5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/commonlib/util/file_test_support.h"

namespace {

std::string HexOf(const std::string& data) {
  MD5 md5(data.data(), data.size());
  return md5.hex_digest();
}

struct Vector {
  const char* input;
  const char* digest;
};

class Rfc1321Test : public ::testing::TestWithParam<Vector> {};

TEST_P(Rfc1321Test, MatchesTheTestSuite) {
  EXPECT_EQ(HexOf(GetParam().input), GetParam().digest);
  // Fed in pieces of every size, the digest is the same.
  const std::string input = GetParam().input;
  for (size_t piece = 1; piece <= 65; piece += 16) {
    MD5 md5;
    for (size_t at = 0; at < input.size(); at += piece) md5.update(input.data() + at, std::min(piece, input.size() - at));
    md5.finalize();
    EXPECT_EQ(std::string(md5.hex_digest()), GetParam().digest) << "pieces of " << piece;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Suite, Rfc1321Test,
    ::testing::Values(
        Vector{"", "d41d8cd98f00b204e9800998ecf8427e"}, Vector{"a", "0cc175b9c0f1b6a831c399e269772661"},
        Vector{"abc", "900150983cd24fb0d6963f7d28e17f72"},
        Vector{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        Vector{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        Vector{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        Vector{"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
               "57edf4a22be3c955ac49da2e2107b67a"}));

TEST(MD5Test, PaddingBoundaries) {
  // 55, 56 and 64 bytes put the length into the same block, the next one, and a block of its own.
  EXPECT_EQ(HexOf(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(HexOf(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(HexOf(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
}

// Captures what is written to std::cerr while it lives.
class CerrCapture {
 public:
  CerrCapture() : m_old(std::cerr.rdbuf(m_text.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(m_old); }
  std::string text() const { return m_text.str(); }

 private:
  std::ostringstream m_text;
  std::streambuf* m_old;
};

TEST(MD5Test, MisuseIsReportedOnStandardErrorOnly) {
  MD5 done("abc", 3);
  {
    CerrCapture cerr;
    done.update("more", 4);
    EXPECT_EQ(cerr.text(), "MD5::update:  Can't update a finalized digest!\n");
  }
  EXPECT_STREQ(done.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");
  {
    CerrCapture cerr;
    done.finalize();
    EXPECT_EQ(cerr.text(), "MD5::finalize:  Already finalized this digest!\n");
  }
  EXPECT_STREQ(done.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");

  MD5 open;
  open.update("abc", 3);
  wchar_t wide[33];
  std::wmemset(wide, L'#', 33);
  {
    CerrCapture cerr;
    EXPECT_STREQ(open.hex_digest(), "");
    EXPECT_EQ(cerr.text(), "MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n");
    open.hex_digest(wide);
    EXPECT_EQ(wide[0], L'#');  // untouched
  }
  open.finalize();
  EXPECT_STREQ(open.hex_digest(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(MD5Test, WideFormMatchesTheNarrowOne) {
  MD5 md5("message digest", 14);
  wchar_t wide[33];
  md5.hex_digest(wide);
  const std::string narrow = md5.hex_digest();
  EXPECT_EQ(std::wstring(wide), std::wstring(narrow.begin(), narrow.end()));
  EXPECT_EQ(std::wcslen(wide), 32u);
}

// A stdio stream over memory that records how it is read and whether it is closed.
struct CookieState {
  std::string data;
  size_t at = 0;
  std::vector<size_t> requests;
  int closes = 0;
};

FILE* CookieStream(CookieState* state) {
  cookie_io_functions_t io{};
  io.read = [](void* c, char* buffer, size_t size) -> ssize_t {
    auto* s = static_cast<CookieState*>(c);
    s->requests.push_back(size);
    const size_t n = std::min(size, s->data.size() - s->at);
    std::memcpy(buffer, s->data.data() + s->at, n);
    s->at += n;
    return static_cast<ssize_t>(n);
  };
  io.close = [](void* c) -> int {
    ++static_cast<CookieState*>(c)->closes;
    return 0;
  };
  FILE* stream = fopencookie(state, "r", io);
  setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

TEST(MD5Test, StreamsAreReadInChunksOf1024AndClosed) {
  CookieState state;
  state.data = std::string(1024, 'x');
  MD5 md5(CookieStream(&state));
  EXPECT_EQ(std::string(md5.hex_digest()), HexOf(state.data));
  EXPECT_EQ(state.closes, 1);
  ASSERT_FALSE(state.requests.empty());
  for (size_t request : state.requests) EXPECT_LE(request, 1024u);
}

TEST(MD5Test, ANullStreamIsNoDigest) {
  MD5 md5(static_cast<FILE*>(nullptr));
  CerrCapture cerr;
  EXPECT_STREQ(md5.hex_digest(), "");
}

std::string Md5sum(const std::string& path) {
  const std::string command = "md5sum '" + path + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  char line[128] = {};
  const char* got = std::fgets(line, sizeof line, pipe);
  ::pclose(pipe);
  return got ? std::string(line, 32) : "";
}

class MD5FileTest : public ::testing::TestWithParam<size_t> {
 protected:
  vkqx_test::MappedDrives drives;
};

TEST_P(MD5FileTest, FileDigestMatchesMd5sum) {
  const size_t size = GetParam();
  std::string content(size, '\0');
  std::mt19937 random(static_cast<uint32_t>(size));
  for (char& c : content) c = static_cast<char>(random());
  vkqx_test::WriteHostFile(drives.c + "/file.bin", content);
  FILE* stream = platform::OpenCFile(L"C:\\file.bin", "rb");
  ASSERT_NE(stream, nullptr);
  MD5 md5(stream);
  EXPECT_EQ(std::string(md5.hex_digest()), Md5sum(drives.c + "/file.bin")) << size << " bytes";
}

INSTANTIATE_TEST_SUITE_P(AwkwardSizes, MD5FileTest,
                         ::testing::Values(0, 1, 63, 64, 1023, 1024, 1025, 2048, 5 * 1024 * 1024 + 7));

}  // namespace
