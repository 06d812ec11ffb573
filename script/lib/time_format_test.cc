// Time texts: the Windows runtime's forms, and integer formats that never let a
// script's format reach printf unchecked.
#include "script/lib/time_format.h"

#include <gtest/gtest.h>

namespace script {
namespace {

std::tm Moment() {
  std::tm time{};
  time.tm_year = 126;  // 2026
  time.tm_mon = 11;    // December
  time.tm_mday = 9;
  time.tm_wday = 3;  // Wednesday
  time.tm_yday = 342;
  time.tm_hour = 2;
  time.tm_min = 5;
  time.tm_sec = 7;
  return time;
}

TEST(TimeFormatTest, WindowsRuntimeForms) {
  const std::tm time = Moment();
  EXPECT_EQ(FormatLocalTime("%c", time), "12/09/26 02:05:07");
  EXPECT_EQ(FormatLocalTime("%x|%X", time), "12/09/26|02:05:07");
  EXPECT_EQ(FormatLocalTime("%#c", time), "Wednesday, December 9, 2026, 02:05:07");
  EXPECT_EQ(FormatLocalTime("%#d.%#m. %A %b %Y %j %%", time), "9.12. Wednesday Dec 2026 343 %");
  // Unknown conversions and a lone percent stay as written.
  EXPECT_EQ(FormatLocalTime("%q %E %", time), "%q %E %");
  EXPECT_EQ(FormatLocalTime(std::string(10000, 'a'), time).size(), kMaxTimeText);
  EXPECT_LE(FormatLocalTime(std::string(5000, '%') + "c", time).size(), kMaxTimeText);
}

TEST(TimeFormatTest, OneIntegerConversionOnly) {
  EXPECT_EQ(FormatOneInteger("%d", -42), "-42");
  EXPECT_EQ(FormatOneInteger("t=%08x s", 255), "t=000000ff s");
  EXPECT_EQ(
      FormatOneInteger("%ld|", 7) + FormatOneInteger("%I64u|", -1) + FormatOneInteger("%hd", 7),
      "7|4294967295|7");
  EXPECT_EQ(FormatOneInteger("%5.3d%%", 7), "  007%");
  EXPECT_EQ(FormatOneInteger("no conversion 100%%", 7), "no conversion 100%");
  // Everything else is written as plain "%d".
  for (const char* unsafe :
       {"%s", "%n", "%d %d", "%*d", "%99999d", "%.1000d", "%f", "%", "a%", "%lld%s"})
    EXPECT_EQ(FormatOneInteger(unsafe, 12), "12") << unsafe;
  EXPECT_EQ(FormatOneInteger(std::string("%d\0%s", 5), 3), "3");
  EXPECT_EQ(FormatOneInteger(std::string(2000, 'x') + "%d", 1).size(), 511u);
  EXPECT_EQ(FormatOneInteger("%500d", 1).size(), 500u);
}

}  // namespace
}  // namespace script
