// The skin folder as shipped: every image the two windows name (and the layers the main window
// composes for its progress bar) is there at both display scales, fits the slicing asked of it,
// and nothing else rides along in the archive. A missing image is silently skipped when painting,
// so without this a renamed file would only show as a blank patch on screen.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "platform/text.h"
#include "tests/support/TempDir.h"
#include "uitoolkit/skin/ImageDescription.h"

namespace {

namespace fs = std::filesystem;

const char* const kWindows[] = {"InstallPackages.xml", "MessageBox.xml"};

// The progress bar's attribute as the main window builds it, with the bar full and the flash
// inside it: every layer at its widest.
const wchar_t kProgressLayers[] =
    L"file='progress_bk.png' dest='0,0,500,30' \t\t file='progress_fore.png' corner='0,10,110,10' "
    L"dest='0,0,500,30' \t\t file='pro_flash_bk.png' corner='0,0,0,0' dest='400,0,480,30' "
    L"source='0,0,80,30' \t\t file='pro_flash_fore.png' corner='0,0,0,0' dest='250,0,480,30' "
    L"source='0,0,230,30'";

std::string SkinDir() { return vkqx_test::SourceDir() + "/installer/skin"; }

struct Size {
  int width = 0;
  int height = 0;
};

// Width and height from the PNG header; false for a file that is not a PNG.
bool PngSize(const std::string& path, Size* size) {
  std::ifstream in(path, std::ios::binary);
  unsigned char h[24] = {};
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
  static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!std::equal(std::begin(kSignature), std::end(kSignature), h)) return false;
  if (std::string(reinterpret_cast<char*>(h + 12), 4) != "IHDR") return false;
  auto be32 = [&](int at) { return int(uint32_t(h[at]) << 24 | uint32_t(h[at + 1]) << 16 | h[at + 2] << 8 | h[at + 3]); };
  size->width = be32(16);
  size->height = be32(20);
  return true;
}

// Every image layer of the windows' descriptions, keyed by where it was found.
std::multimap<std::string, ui::ImageLayer> NamedLayers() {
  std::multimap<std::string, ui::ImageLayer> layers;
  for (const char* window : kWindows) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file((SkinDir() + "/" + window).c_str());
    EXPECT_TRUE(parsed) << window << ": " << parsed.description();
    for (pugi::xpath_node node : doc.select_nodes("//*[@*]")) {
      for (pugi::xml_attribute a : node.node().attributes()) {
        const std::string attr = a.name();
        if (attr.size() < 5 || attr.compare(attr.size() - 5, 5, "image") != 0) continue;
        const std::string where = std::string(window) + " " + node.node().name() + " " +
                                  node.node().attribute("name").value() + " " + attr;
        for (ui::ImageLayer& layer : ui::ParseImageDescription(platform::Utf8ToWide(a.value())))
          layers.emplace(where, std::move(layer));
      }
    }
  }
  for (ui::ImageLayer& layer : ui::ParseImageDescription(kProgressLayers))
    layers.emplace("the progress bar's composed attribute", std::move(layer));
  return layers;
}

std::string At2x(const std::string& file) { return file.substr(0, file.rfind('.')) + "@2x.png"; }

TEST(SkinAssets, EveryNamedImageIsShippedAtBothScalesAndFitsItsSlicing) {
  const auto layers = NamedLayers();
  ASSERT_GT(layers.size(), 20u);
  for (const auto& [where, layer] : layers) {
    SCOPED_TRACE(where);
    const std::string file = platform::WideToUtf8(layer.file);
    Size one, two;
    ASSERT_TRUE(PngSize(SkinDir() + "/" + file, &one)) << file << " is missing or not a PNG";
    ASSERT_TRUE(PngSize(SkinDir() + "/" + At2x(file), &two)) << At2x(file) << " is missing or not a PNG";
    EXPECT_EQ(two.width, 2 * one.width) << At2x(file);
    EXPECT_EQ(two.height, 2 * one.height) << At2x(file);

    const ui::Rect& c = layer.corner;
    EXPECT_LE(c.left + c.right, one.width) << file << ": the corners overlap";
    EXPECT_LE(c.top + c.bottom, one.height) << file << ": the corners overlap";
    if (layer.hasSource) {
      EXPECT_GE(layer.source.left, 0) << file;
      EXPECT_GE(layer.source.top, 0) << file;
      EXPECT_LE(layer.source.right, one.width) << file << ": the source reaches out of the image";
      EXPECT_LE(layer.source.bottom, one.height) << file << ": the source reaches out of the image";
    }
  }
}

TEST(SkinAssets, TheFolderHoldsOnlyTheWindowsAndTheirImages) {
  std::set<std::string> wanted(std::begin(kWindows), std::end(kWindows));
  for (const auto& [where, layer] : NamedLayers()) {
    const std::string file = platform::WideToUtf8(layer.file);
    wanted.insert(file);
    wanted.insert(At2x(file));
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(SkinDir())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(entry.is_regular_file()) << name << " is not a file";
    EXPECT_TRUE(wanted.count(name)) << name << " is named by no window but would be zipped into the program";
  }
}

}  // namespace
