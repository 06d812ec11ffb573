// The game page's address: the string table entry of the user's time-zone hour (or the
// nearest entry the table has) with the game class identifier as its query.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace zoma::launcher {

/// The C library's time-zone offset in seconds west of UTC (standard time).
long TimeZoneOffsetWest();

/// The table index 0-23 of an offset: whole hours west plus 12. Offsets beyond twelve
/// hours (UTC+13, UTC+14, UTC-12) wrap round, so UTC+13 shares the hour of UTC-11.
int TimeZoneIndex(long seconds_west);

/// Loads string resource `id` (null when absent).
using StringLoader = std::function<const char*(int id)>;

/// The table entry for `index`, or the nearest present one (one lower, then one higher,
/// wrapping, up to twelve steps away); nullopt when none is present. Entries are cut to
/// the table's buffer.
std::optional<std::string> NearestPageEntry(int index, const StringLoader& load);

/// Entry + "?game_id=" + at most 28 characters of the argument; nullopt when there is
/// no entry or the address would not fit the 520-character buffer.
std::optional<std::string> BuildPageAddress(long seconds_west, const std::string& game_id,
                                            const StringLoader& load);

/// What is opened when BuildPageAddress fails: the main server's page with the whole
/// argument.
std::string FallbackPageAddress(const std::string& game_id);

}  // namespace zoma::launcher
