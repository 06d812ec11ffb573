// The numbers behind the progress bar: a channel's percent mapped into its span of the
// whole update, and the time-remaining text.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "updater/update_sources.h"

namespace zoma {

/// The percent of a "%d%%" progress text, limited to 0..100; nullopt when the text
/// does not begin with a number.
std::optional<int> ParsePercentText(const char* text);

/// start + percent × span / 100 (integer division) for the channel's entry.
int OverallPercent(const ChannelEntry& entry, int channel_percent);

/// The time-remaining text for the overall percent after `elapsed_seconds`. The
/// estimate assumes the rate so far holds: remaining = elapsed × (100 − p) / p.
std::string TimeRemainingText(int percent, std::time_t elapsed_seconds);

}  // namespace zoma
