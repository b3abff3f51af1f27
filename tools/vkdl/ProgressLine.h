// vkdl's progress report: one line per second, or a bar redrawn in place on a terminal.
#pragma once

#include <cstdint>
#include <string>

struct ProgressSample {
  int64_t size = 0;
  int64_t completed = 0;
  int32_t speed = 0;  // bytes per second
};

// "12.34MB / 64.00MB  19%  5.12MB/s"
std::string FormatProgressLine(const ProgressSample& sample);
// "[#####---------------] " followed by the line, for a terminal.
std::string FormatProgressBar(const ProgressSample& sample, int barWidth = 30);
// Whole percent, 100 for an empty file.
int ProgressPercent(const ProgressSample& sample);
