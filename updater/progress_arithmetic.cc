// Progress numbers and the time-remaining text.
#include "updater/progress_arithmetic.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace zoma {

std::optional<int> ParsePercentText(const char* text) {
  if (!text) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (end == text) return std::nullopt;
  return static_cast<int>(std::clamp<long>(value, 0, 100));
}

int OverallPercent(const ChannelEntry& entry, int channel_percent) {
  return entry.progress_start + channel_percent * entry.progress_span / 100;
}

std::string TimeRemainingText(int percent, std::time_t elapsed_seconds) {
  if (percent <= 0) return "Calculating time remaining...";
  percent = std::min(percent, 100);
  std::int64_t elapsed = std::max<std::int64_t>(elapsed_seconds, 1);
  // Whole seconds from the rate so far; a slow transfer gives a long time, never a
  // negative one.
  std::int64_t remaining = elapsed * (100 - percent) / percent;
  std::int64_t minutes = remaining / 60;
  if (minutes == 0) return "< 1 minute remaining.";
  char text[64];
  if (minutes == 1)
    std::snprintf(text, sizeof text, "%d minute remaining.", 1);
  else
    std::snprintf(text, sizeof text, "%lld minutes remaining.", static_cast<long long>(minutes));
  return text;
}

}  // namespace zoma
