#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace vkqx_test {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vkqx-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_path = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

std::string BuildDir() {
  const char* v = std::getenv("VKQX_BUILD_DIR");
  return v ? v : ".";
}

std::string SourceDir() {
  const char* v = std::getenv("VKQX_SOURCE_DIR");
  return v ? v : ".";
}

}  // namespace vkqx_test
