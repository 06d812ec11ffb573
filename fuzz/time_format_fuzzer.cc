// Formats scripts give Time and _Time: whatever the text, the result stays within its
// limits and never comes from an unchecked printf. Input: a format, then (after a NUL)
// four bytes of the value.
#include <cstring>
#include <ctime>

#include "fuzz/fuzz_input.h"
#include "script/lib/time_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> parts = fuzz::SplitAtNul(fuzz::AsText(data, size));
  std::int32_t value = 0;
  if (parts.size() > 1)
    std::memcpy(&value, parts[1].data(), std::min<std::size_t>(4, parts[1].size()));
  fuzz::Require(script::FormatOneInteger(parts[0], value).size() < 512, "under 512 characters");
  std::tm time{};
  time.tm_year = 126;
  time.tm_mday = 9;
  time.tm_wday = value % 7;
  time.tm_mon = value % 12;
  fuzz::Require(script::FormatLocalTime(parts[0], time).size() <= script::kMaxTimeText,
                "within the time text limit");
  return 0;
}
