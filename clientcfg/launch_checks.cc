// The checks that follow a text load (expiry against the local date, the installation's
// network) and the reading of numbers in launch files.
#include <algorithm>
#include <climits>

#include "clientcfg/launch_file_internal.h"
#include "platform/ascii.h"
#include "platform/clock.h"

namespace clientcfg {
namespace {

// An Expires value is read over at most this many characters.
constexpr std::size_t kExpiresLength = 49;
// Date parts stop growing here so that 49 digits cannot overflow; such a year lies far
// in the future anyway.
constexpr long long kDatePartLimit = 1000000000;

bool ClockDate(int* year, int* month, int* day) {
  platform::SystemTime now;
  platform::GetLocalTime(&now);
  if (now.year == 0) return false;
  *year = now.year;
  *month = now.month;
  *day = now.day;
  return true;
}

LocalDateSource g_date_source = ClockDate;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// The next number of a date: non-digits skipped, then the digits (leading zeros add
// nothing); 0 when the text has no more digits.
int NextDatePart(std::string_view& text) {
  while (!text.empty() && !IsDigit(text.front())) text.remove_prefix(1);
  long long value = 0;
  while (!text.empty() && IsDigit(text.front())) {
    value = std::min(value * 10 + (text.front() - '0'), kDatePartLimit);
    text.remove_prefix(1);
  }
  return static_cast<int>(value);
}

}  // namespace

void SetLocalDateSource(LocalDateSource source) { g_date_source = source ? source : ClockDate; }

bool LaunchDateExpired(std::string_view expires, int year, int month, int day) {
  expires = expires.substr(0, kExpiresLength);
  const int today[] = {year, month, day};
  for (int part : today) {
    int limit = NextDatePart(expires);
    if (part < limit) return false;
    if (part > limit) return true;
  }
  return false;  // valid through its expiry day
}

int CheckLaunchExpiry(LaunchFile& file) {
  const char* expires = GetLaunchValue(&file, "Main", "Expires", nullptr);
  if (!expires || !*expires) return kLaunchOk;
  int year, month, day;
  if (!g_date_source(&year, &month, &day)) return kLaunchNoDate;
  return LaunchDateExpired(expires, year, month, day) ? kLaunchExpired : kLaunchOk;
}

int CheckLaunchNetwork(LaunchFile& file) {
  const LaunchEntry* own = FindLaunchEntry(file, "Main", "Network");
  const char* installation = GetLaunchValue(nullptr, "Main", "Network", nullptr);
  if (!installation) return kLaunchOk;
  if (!own) return kLaunchNoNetwork;
  return platform::EqualsIgnoreCase(own->value, installation) ? kLaunchOk : kLaunchWrongNetwork;
}

int ParseLaunchNumber(const char* text, int default_value) {
  if (!text) return default_value;
  const char* c = text;
  while (*c && !IsDigit(*c) && !(*c == '-' && IsDigit(c[1]))) ++c;
  if (!*c) return default_value;
  bool negative = *c == '-';
  if (negative) ++c;
  int base = 10;
  if (*c == '0') {
    char next = c[1];
    if (IsDigit(next)) {
      base = 8;
      c += 1;
    } else if (next == 'b' || next == 'B') {
      base = 2;
      c += 2;
    } else if (next == 'o' || next == 'O') {
      base = 8;
      c += 2;
    } else if (next == 'x' || next == 'X') {
      base = 16;
      c += 2;
    } else {
      return 0;
    }
  }
  std::uint32_t value = 0;
  bool any = false;
  for (; DigitValue(*c) < base; ++c) {
    value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(DigitValue(*c));
    any = true;
  }
  if (!any) return default_value;
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

}  // namespace clientcfg
