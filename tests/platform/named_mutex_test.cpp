#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/errors.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform;

class NamedMutexTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1); }
  vkqx_test::TempDir m_dir;
};

TEST_F(NamedMutexTest, ASecondHolderIsToldTheNameExists) {
  auto first = NamedMutex::Create(L"vkqx_install_20170309");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(first->HoldsName());

  auto second = NamedMutex::Create(L"vkqx_install_20170309");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(second->HoldsName());

  auto other = NamedMutex::Create(L"Local\\another name/with:odd chars");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

  first.reset();
  auto third = NamedMutex::Create(L"vkqx_install_20170309");
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(third->HoldsName());
}

TEST_F(NamedMutexTest, AnEmptyNameIsRefused) {
  EXPECT_EQ(NamedMutex::Create(L""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
}

}  // namespace
