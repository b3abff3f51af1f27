#include "tools/vkdl/ProgressLine.h"

#include <algorithm>

#include "commonlib/util/CommonUtils.h"
#include "platform/format.h"
#include "platform/text.h"

namespace {

std::string Size(int64_t bytes) { return platform::WideToUtf8(FormatSize(static_cast<uint64_t>(std::max<int64_t>(bytes, 0)), false)); }

}  // namespace

int ProgressPercent(const ProgressSample& sample) {
  if (sample.size <= 0) return 100;
  const int64_t done = std::clamp<int64_t>(sample.completed, 0, sample.size);
  return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(sample.size));
}

std::string FormatProgressLine(const ProgressSample& sample) {
  return platform::StrFormat("%s / %s  %d%%  %s/s", Size(sample.completed), Size(sample.size),
                             ProgressPercent(sample), Size(sample.speed));
}

std::string FormatProgressBar(const ProgressSample& sample, int barWidth) {
  const int filled = barWidth * ProgressPercent(sample) / 100;
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(barWidth - filled), '-') +
         "] " + FormatProgressLine(sample);
}
