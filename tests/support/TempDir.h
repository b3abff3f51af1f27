// A temporary directory for one test, removed with everything in it when the object goes.
#pragma once

#include <string>

namespace vkqx_test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return m_path; }
  // path() + "/" + name
  std::string Sub(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// The build directory of the running tests (VKQX_BUILD_DIR) and the source tree (VKQX_SOURCE_DIR).
std::string BuildDir();
std::string SourceDir();

}  // namespace vkqx_test
