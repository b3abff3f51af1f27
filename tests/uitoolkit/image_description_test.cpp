// The image-description parser on what skins and the progress bar write, and on what a broken or
// hostile skin may write: it never fails as a whole and never yields numbers out of range.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "uitoolkit/skin/Attributes.h"
#include "uitoolkit/skin/ImageDescription.h"

namespace {

using ui::ImageLayer;
using ui::Rect;

ImageLayer Layer(const wchar_t* file) {
  ImageLayer l;
  l.file = file;
  return l;
}
ImageLayer WithDest(ImageLayer l, Rect r) {
  l.hasDest = true;
  l.dest = r;
  return l;
}
ImageLayer WithSource(ImageLayer l, Rect r) {
  l.hasSource = true;
  l.source = r;
  return l;
}
ImageLayer WithCorner(ImageLayer l, Rect r) {
  l.corner = r;
  return l;
}

struct Case {
  const char* what;
  std::wstring text;
  std::vector<ImageLayer> layers;
};

// The progress bar's attribute as the installer formats it: a space, nine tabs and three spaces
// after each description.
const std::wstring kSep = L" \t\t\t\t\t\t\t\t\t   ";
const std::wstring kProgress =
    L"file='progress_bk.png' dest='0,0,500,30'" + kSep + L"file='progress_fore.png' corner='0,10,110,10' dest='0,0,250,30'" +
    kSep + L"file='pro_flash_bk.png' corner='0,0,0,0' dest='177,0,257,30' source='0,0,80,30'" + kSep +
    L"file='pro_flash_fore.png' corner='0,0,0,0' dest='27,0,250,30' source='0,0,223,30'" + kSep;

TEST(ImageDescription, Table) {
  const std::vector<Case> cases = {
      {"empty", L"", {}},
      {"blank", L" \t ", {}},
      {"bare name", L"bg_progress.png", {Layer(L"bg_progress.png")}},
      {"bare name with spaces around", L"  a.png\t", {Layer(L"a.png")}},
      {"full description",
       L"file='x.png' source='1,2,3,4' dest='5,6,7,8' corner='1,1,1,1' hole='true' xtiled='true' fade='128'",
       {[] {
         ImageLayer l = WithCorner(WithDest(WithSource(Layer(L"x.png"), {1, 2, 3, 4}), {5, 6, 7, 8}), {1, 1, 1, 1});
         l.hole = true;
         l.xtiled = true;
         l.fade = 128;
         return l;
       }()}},
      {"the progress bar's four layers",
       kProgress,
       {WithDest(Layer(L"progress_bk.png"), {0, 0, 500, 30}),
        WithDest(WithCorner(Layer(L"progress_fore.png"), {0, 10, 110, 10}), {0, 0, 250, 30}),
        WithSource(WithDest(Layer(L"pro_flash_bk.png"), {177, 0, 257, 30}), {0, 0, 80, 30}),
        WithSource(WithDest(Layer(L"pro_flash_fore.png"), {27, 0, 250, 30}), {0, 0, 223, 30})}},
      {"the reset value", L"file='progress_bk.png' corner='3,3,3,3'", {WithCorner(Layer(L"progress_bk.png"), {3, 3, 3, 3})}},
      {"double quotes and spaces around '='", L"file = \"a b.png\"  dest= \"0,0,1,1\"",
       {WithDest(Layer(L"a b.png"), {0, 0, 1, 1})}},
      {"unknown keys are skipped", L"file='a.png' glow='9' dest='0,0,2,2' mask='#FF00FF'",
       {WithDest(Layer(L"a.png"), {0, 0, 2, 2})}},
      {"missing quotes read to the next blank", L"file=a.png dest=0,0,3,3", {WithDest(Layer(L"a.png"), {0, 0, 3, 3})}},
      {"an unterminated quote ends the attribute", L"file='a.png' dest='0,0,3,3 file='b.png'", {Layer(L"a.png")}},
      {"a word that is no key is skipped", L"junk file='a.png' = also", {Layer(L"a.png")}},
      {"a description without a file is dropped", L"dest='0,0,1,1' file='a.png'", {WithDest(Layer(L"a.png"), {0, 0, 1, 1})}},
      {"negative numbers are kept", L"file='a.png' dest='-80,0,-3,30'", {WithDest(Layer(L"a.png"), {-80, 0, -3, 30})}},
      {"oversized numbers are clamped", L"file='a.png' dest='0,0,99999999999999999999,4294967296'",
       {WithDest(Layer(L"a.png"), {0, 0, 32767, 32767})}},
      {"a bad rectangle leaves the default", L"file='a.png' dest='1,2,3' source='a,b,c,d' corner='1,,1,1'",
       {Layer(L"a.png")}},
      {"fade is held to 0..255", L"file='a.png' fade='999'", {Layer(L"a.png")}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ui::ParseImageDescription(c.text), c.layers) << c.what;
  }
}

TEST(Attributes, ColoursAndNumbers) {
  ui::Color color = 0;
  EXPECT_TRUE(ui::ParseColor(L"#FF00396A", &color));
  EXPECT_EQ(color, 0xFF00396Au);
  EXPECT_TRUE(ui::ParseColor(L"#F2FFFFFF", &color));
  EXPECT_EQ(color, 0xF2FFFFFFu);
  EXPECT_TRUE(ui::ParseColor(L"#444343", &color));
  EXPECT_EQ(color, 0xFF444343u);
  for (const wchar_t* bad : {L"", L"#", L"#FFF", L"#GG00396A", L"#FF00396A0"}) EXPECT_FALSE(ui::ParseColor(bad, &color)) << bad;
  int n = 0;
  EXPECT_TRUE(ui::ParseInt(L" -12 ", &n));
  EXPECT_EQ(n, -12);
  EXPECT_TRUE(ui::ParseInt(L"-99999999999999999999", &n));
  EXPECT_EQ(n, -ui::kMaxCoordinate);
  for (const wchar_t* bad : {L"", L"-", L"1x", L"1 2"}) EXPECT_FALSE(ui::ParseInt(bad, &n)) << bad;
}

}  // namespace
