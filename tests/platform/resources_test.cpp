#include "platform/resources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadSourceFile(const std::string& relative) {
  std::ifstream in(std::string(VKQX_SOURCE_ROOT) + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string AsString(std::span<const uint8_t> bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST(ResourcesTest, EmbeddedFilesReadBackByteForByte) {
  const std::string icon = ReadSourceFile("installer/resources/app_icon.png");
  ASSERT_FALSE(icon.empty());
  EXPECT_EQ(AsString(platform::LoadResource(L"BLOB", 7)), icon);

  const std::span<const uint8_t> big = platform::LoadResource(L"BIG", 8);
  ASSERT_EQ(big.size(), 3u * 1024 * 1024);
  EXPECT_EQ(AsString(big.first(16)), "0123456789abcdef");
  EXPECT_EQ(AsString(big.last(16)), "0123456789abcdef");
}

TEST(ResourcesTest, AbsentResourcesAreEmpty) {
  EXPECT_TRUE(platform::LoadResource(L"BLOB", 8).empty());
  EXPECT_TRUE(platform::LoadResource(L"blob", 7).empty());
  EXPECT_TRUE(platform::LoadResource(L"ZIPRES", 150).empty());
}

TEST(ResourcesTest, StringTableEntries) {
  struct Case {
    uint32_t id;
    const wchar_t* text;
  };
  const Case cases[] = {
      {1, L"16000054"},
      {3, L"安装Qarnath3"},
      {15, L"quote \" and backslash \\ end"},  // last entry of block 1
      {17, L"\U0001D11E beyond the BMP"},       // block 2, a surrogate pair in the table
      {0, L""},                                 // entries without text
      {2, L""},
      {16, L""},
      {31, L""},
      {32, L""},  // block 3 does not exist
      {100000, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::LoadStringResource(c.id), c.text) << "id " << c.id;
}

TEST(ResourcesTest, StringBlockCutShortYieldsEmptyText) {
  // A block that claims more code units than it holds, registered under a later block number.
  static const uint8_t kCut[] = {5, 0, 'a', 0, 'b', 0};
  static const uint8_t kGood[] = {0, 0, 2, 0, 'o', 0, 'k', 0};
  platform::ResourceRegistration cut(platform::RT_STRING, 10, kCut, sizeof kCut);
  platform::ResourceRegistration good(platform::RT_STRING, 11, kGood, sizeof kGood);
  EXPECT_EQ(platform::LoadStringResource(9 * 16), L"");
  EXPECT_EQ(platform::LoadStringResource(10 * 16 + 1), L"ok");
  EXPECT_EQ(platform::LoadStringResource(10 * 16 + 2), L"");
}

}  // namespace
