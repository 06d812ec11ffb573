// The tick and the FILETIME/SYSTEMTIME conversions.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace platform {
namespace {

TEST(Clock, TickMovesForwardAcrossASleep) {
  std::uint32_t before = TimeGetTime();
  Sleep(20);
  // Unsigned subtraction keeps working when the 32-bit tick wraps.
  EXPECT_GE(static_cast<std::uint32_t>(GetTickCount() - before), 20u);
}

TEST(Clock, FileTimeEpochsAndSystemTimes) {
  EXPECT_EQ(FileTimeToUint64(FileTimeFromUnixTime(0)), 116444736000000000ull);
  EXPECT_EQ(FileTimeToUnixTime(FileTimeFromUnixTime(1'234'567'890)), 1'234'567'890);
  timespec stamp{1, 123456789};
  timespec back = FileTimeToTimespec(FileTimeFromTimespec(stamp));
  EXPECT_EQ(back.tv_sec, 1);
  EXPECT_EQ(back.tv_nsec, 123456700);  // 100 ns resolution

  SystemTime time;
  ASSERT_TRUE(FileTimeToSystemTime(FileTime{}, &time));
  EXPECT_EQ(time.year, 1601);
  EXPECT_EQ(time.day_of_week, 1);  // a Monday
  ASSERT_TRUE(FileTimeToSystemTime(FileTimeFromUnixTime(0), &time));
  EXPECT_EQ(time.year, 1970);
  EXPECT_EQ(time.day_of_week, 4);  // a Thursday

  SystemTime leap{2000, 2, 0, 29, 23, 59, 58, 789};
  FileTime file_time;
  ASSERT_TRUE(SystemTimeToFileTime(leap, &file_time));
  ASSERT_TRUE(FileTimeToSystemTime(file_time, &time));
  EXPECT_EQ(time.year, 2000);
  EXPECT_EQ(time.month, 2);
  EXPECT_EQ(time.day, 29);
  EXPECT_EQ(time.day_of_week, 2);  // a Tuesday
  EXPECT_EQ(time.hour, 23);
  EXPECT_EQ(time.second, 58);
  EXPECT_EQ(time.milliseconds, 789);
  for (SystemTime bad : {SystemTime{2001, 2, 0, 29}, SystemTime{2000, 13, 0, 1},
                         SystemTime{1600, 12, 0, 31}, SystemTime{2000, 1, 0, 1, 24}})
    EXPECT_FALSE(SystemTimeToFileTime(bad, &file_time));
  EXPECT_FALSE(FileTimeToSystemTime(FileTime{0, 0xFFFFFFFF}, &time));

  GetSystemTime(&time);
  FileTime now;
  ASSERT_TRUE(SystemTimeToFileTime(time, &now));
  EXPECT_LE(std::llabs(FileTimeToUnixTime(now) - std::time(nullptr)), 2);
}

TEST(Clock, DosDateTimes) {
  FileTime time;
  // 2005-06-07 08:09:10
  std::uint16_t date = ((2005 - 1980) << 9) | (6 << 5) | 7, clock = (8 << 11) | (9 << 5) | 5;
  ASSERT_TRUE(DosDateTimeToFileTime(date, clock, &time));
  std::uint16_t date_back = 0, clock_back = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(time, &date_back, &clock_back));
  EXPECT_EQ(date_back, date);
  EXPECT_EQ(clock_back, clock);
  EXPECT_FALSE(DosDateTimeToFileTime(0, 0, &time)) << "month 0 is no date";
  EXPECT_FALSE(FileTimeToDosDateTime(FileTimeFromUnixTime(0), &date_back, &clock_back));
}

TEST(Clock, LocalTimeFollowsTheHostsZoneRules) {
  const char* saved = std::getenv("TZ");
  std::string saved_tz = saved ? saved : "";
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  SystemTime summer{2020, 7, 0, 1, 12, 0, 0, 0}, winter{2020, 1, 0, 15, 12, 0, 0, 0};
  FileTime utc, local, round_trip;
  SystemTime out;
  ASSERT_TRUE(SystemTimeToFileTime(summer, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(utc, &local));
  ASSERT_TRUE(FileTimeToSystemTime(local, &out));
  EXPECT_EQ(out.hour, 14);
  ASSERT_TRUE(LocalFileTimeToFileTime(local, &round_trip));
  EXPECT_EQ(FileTimeToUint64(round_trip), FileTimeToUint64(utc));
  ASSERT_TRUE(SystemTimeToFileTime(winter, &utc));
  ASSERT_TRUE(FileTimeToLocalFileTime(utc, &local));
  ASSERT_TRUE(FileTimeToSystemTime(local, &out));
  EXPECT_EQ(out.hour, 13);
  saved ? setenv("TZ", saved_tz.c_str(), 1) : unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace platform
