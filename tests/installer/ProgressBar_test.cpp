// The progress bar's arithmetic and its attribute text.
#include "installer/ProgressBar.h"

#include <gtest/gtest.h>

namespace {

struct FillCase {
  const char* name;
  int64_t total, completed;
  int32_t counter;
  bool local;
  int expected;
};

TEST(ProgressBar, FillFollowsTheDownloadThenTheInstallCounter) {
  const FillCase cases[] = {
      {"before any sample", 0, 0, 0, false, 0},
      {"before any sample, local package", 0, 0, 450, true, 250},
      {"download done, install not started", 1000, 1000, 0, false, 450},
      {"half downloaded", 1000, 500, 0, false, 225},
      {"download done, counter at its end", 1, 1, 900, false, 500},
      {"local package at its end", 0, 0, 900, true, 500},
      {"a counter past its end briefly", 1, 1, 909, false, 500},
  };
  for (const FillCase& c : cases) EXPECT_EQ(progressbar::FillWidth(500, c.total, c.completed, c.counter, c.local), c.expected) << c.name;
}

TEST(ProgressBar, TheFlashWrapsAtTheBarPlusItsWidth) {
  int x = 0;
  int steps = 0;
  do {
    x = progressbar::NextFlashPos(x, 500, true);
    ++steps;
  } while (x != 0 && steps < 1000);
  EXPECT_EQ(steps, 194);  // 193 steps reach 579; the next reaches 582 and wraps
  EXPECT_EQ(progressbar::NextFlashPos(120, 500, false), 120);
}

TEST(ProgressBar, AttributeNamesFourLayersWithTheirRectangles) {
  const std::wstring pad = L" \t\t\t\t\t\t\t\t\t   ";
  // Filled to 300, flash edge at 250: the flash fore runs from 20 to 250, inside the fill.
  EXPECT_EQ(progressbar::Attribute(500, 300, 250),
            L"file='progress_bk.png' dest='0,0,500,30'" + pad +
                L"file='progress_fore.png' corner='0,10,110,10' dest='0,0,300,30'" + pad +
                L"file='pro_flash_bk.png' corner='0,0,0,0' dest='170,0,250,30' source='0,0,80,30'" + pad +
                L"file='pro_flash_fore.png' corner='0,0,0,0' dest='20,0,250,30' source='0,0,230,30'" + pad);
  // Nothing filled, flash entering from the left: no fore flash, the back flash cut at 0.
  EXPECT_EQ(progressbar::Attribute(500, 0, 30),
            L"file='progress_bk.png' dest='0,0,500,30'" + pad +
                L"file='progress_fore.png' corner='0,10,0,10' dest='0,0,0,30'" + pad +
                L"file='pro_flash_bk.png' corner='0,0,0,0' dest='0,0,30,30' source='50,0,80,30'" + pad +
                L"file='pro_flash_fore.png' corner='0,0,0,0' dest='0,0,0,30' source='0,0,0,30'" + pad);
  EXPECT_LT(progressbar::Attribute(32767, 32767, 32767).size(), progressbar::kAttributeCapacity);
}

}  // namespace
