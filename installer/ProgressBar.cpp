#include "installer/ProgressBar.h"

#include <algorithm>

#include "installer/Install/InstallProgress.h"
#include "platform/format.h"

namespace progressbar {

int FillWidth(int width, int64_t total, int64_t completed, int32_t installCounter, bool localPackage) {
  if (localPackage) return installCounter * width / install::kInstallCounterEnd;
  if (total <= 0) return 0;
  const double value = width * 0.9 * static_cast<double>(completed) / static_cast<double>(total) +
                       installCounter * (width * 0.1) / install::kInstallCounterEnd;
  return static_cast<int>(value);
}

int NextFlashPos(int flashPos, int width, bool step) {
  if (step) flashPos += kFlashStep;
  return flashPos >= width + kFlashBackWidth ? 0 : flashPos;
}

std::wstring Attribute(int width, int value, int x) {
  const int start = std::max(0, x - kFlashBackWidth);
  const int sourceLeft = start - x + kFlashBackWidth;
  const int end = std::min(value, x);
  const int start2 = std::max(0, std::min(value, x - kFlashForeWidth));
  int sourceLeft2 = 0;
  int sourceRight2 = 0;
  if (end > start2) {
    sourceRight2 = end - x + kFlashForeWidth;
    sourceLeft2 = start2 - x + kFlashForeWidth;
  }
  const int corner = std::min(value, kMaxCorner);
  std::wstring text = platform::StrFormat(
      L"file='progress_bk.png' dest='0,0,%d,30' \t\t\t\t\t\t\t\t\t   "
      L"file='progress_fore.png' corner='0,10,%d,10' dest='0,0,%d,30' \t\t\t\t\t\t\t\t\t   "
      L"file='pro_flash_bk.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30' \t\t\t\t\t\t\t\t\t   "
      L"file='pro_flash_fore.png' corner='0,0,0,0' dest='%d,0,%d,30' source='%d,0,%d,30' \t\t\t\t\t\t\t\t\t   ",
      width, corner, value, start, x, sourceLeft, kFlashBackWidth, start2, end, sourceLeft2, sourceRight2);
  if (text.size() > kAttributeCapacity - 1) text.resize(kAttributeCapacity - 1);
  return text;
}

}  // namespace progressbar
