// The skin as the program embeds it (the build's zip), and a host delegate that ignores
// everything, for tests that look at a skin's tree or pictures without a window.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "tests/support/TempDir.h"
#include "uitoolkit/skin/SkinArchive.h"
#include "uitoolkit/window/ControlHost.h"

namespace vkqx_test {

inline std::unique_ptr<ui::SkinArchive> EmbeddedSkin() {
  std::ifstream in(BuildDir() + "/installer/skin.zip", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::string error;
  auto skin = ui::SkinArchive::FromZipBytes(std::move(bytes).str(), &error);
  EXPECT_TRUE(skin) << error;
  return skin;
}

class NullDelegate : public ui::HostDelegate {
 public:
  void OnNotify(const ui::Notification&) override {}
};

// A host of one window of `skin`, its XML loaded.
inline std::unique_ptr<ui::ControlHost> LoadHost(ui::SkinArchive* skin, const wchar_t* file) {
  static NullDelegate delegate;
  auto host = std::make_unique<ui::ControlHost>(&delegate, skin);
  std::string error;
  EXPECT_TRUE(host->Load(file, &error)) << error;
  return host;
}

}  // namespace vkqx_test
