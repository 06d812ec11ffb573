// The game page's address from the time zone.
#include "launcher/page_address.h"

#include <ctime>

#include "launcher/resources.h"

namespace zoma::launcher {

long TimeZoneOffsetWest() {
  tzset();
  return timezone;
}

int TimeZoneIndex(long seconds_west) {
  long index = seconds_west / 3600 + 12;
  index %= kPageAddressCount;
  if (index < 0) index += kPageAddressCount;
  return static_cast<int>(index);
}

std::optional<std::string> NearestPageEntry(int index, const StringLoader& load) {
  auto entry = [&](int i) -> std::optional<std::string> {
    int wrapped = ((i % kPageAddressCount) + kPageAddressCount) % kPageAddressCount;
    const char* text = load(kPageAddressFirstId + wrapped);
    if (!text) return std::nullopt;
    std::string value = text;
    if (value.size() >= kPageAddressBufferSize) value.resize(kPageAddressBufferSize - 1);
    return value;
  };
  if (auto found = entry(index)) return found;
  for (int step = 1; step <= 12; ++step) {
    if (auto lower = entry(index - step)) return lower;
    if (auto higher = entry(index + step)) return higher;
  }
  return std::nullopt;
}

std::optional<std::string> BuildPageAddress(long seconds_west, const std::string& game_id,
                                            const StringLoader& load) {
  std::optional<std::string> entry = NearestPageEntry(TimeZoneIndex(seconds_west), load);
  if (!entry) return std::nullopt;
  std::string address = *entry + "?game_id=" + game_id.substr(0, 28);
  if (address.size() >= kPageAddressBufferSize) return std::nullopt;
  return address;
}

std::string FallbackPageAddress(const std::string& game_id) {
  return std::string(kMainGamePage) + "?game_id=" + game_id;
}

}  // namespace zoma::launcher
