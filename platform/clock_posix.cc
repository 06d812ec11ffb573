// The tick, the wall clock and FILETIME arithmetic on POSIX clocks.
#include <sched.h>
#include <time.h>

#include <cerrno>

#include "platform/clock.h"

namespace platform {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kTicksPerDay = kTicksPerSecond * 86'400;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
// Days from 0000-03-01 (the start of the civil calendar below) to 1601-01-01.
constexpr std::int64_t kDaysTo1601 = 584'694;
// FILETIMEs beyond 30827-12-31 are refused, as Windows does.
constexpr int kLastYear = 30827;

// Days since 0000-03-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  std::int64_t era = year / 400;
  unsigned year_of_era = static_cast<unsigned>(year - era * 400);
  unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era;
}

void CivilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day) {
  std::int64_t era = days / 146097;
  unsigned day_of_era = static_cast<unsigned>(days - era * 146097);
  unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  unsigned mp = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<std::int64_t>(year_of_era) + era * 400 + (*month <= 2);
}

bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

SystemTime FromTm(const tm& broken, long nanoseconds) {
  SystemTime time;
  time.year = static_cast<std::uint16_t>(broken.tm_year + 1900);
  time.month = static_cast<std::uint16_t>(broken.tm_mon + 1);
  time.day_of_week = static_cast<std::uint16_t>(broken.tm_wday);
  time.day = static_cast<std::uint16_t>(broken.tm_mday);
  time.hour = static_cast<std::uint16_t>(broken.tm_hour);
  time.minute = static_cast<std::uint16_t>(broken.tm_min);
  time.second = static_cast<std::uint16_t>(broken.tm_sec > 59 ? 59 : broken.tm_sec);
  time.milliseconds = static_cast<std::uint16_t>(nanoseconds / 1'000'000);
  return time;
}

// The host's UTC offset, in seconds, at a moment given in seconds since 1970.
std::int64_t UtcOffsetAt(std::int64_t seconds) {
  time_t moment = static_cast<time_t>(seconds);
  tm broken;
  if (!localtime_r(&moment, &broken)) return 0;
  return broken.tm_gmtoff;
}

}  // namespace

std::uint32_t TimeGetTime() {
  timespec now;
  if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                               static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000;
  return static_cast<std::uint32_t>(milliseconds);
}

std::uint32_t GetTickCount() { return TimeGetTime(); }

void Sleep(std::uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1'000'000};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void GetLocalTime(SystemTime* time) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm broken;
  localtime_r(&now.tv_sec, &broken);
  *time = FromTm(broken, now.tv_nsec);
}

void GetSystemTime(SystemTime* time) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm broken;
  gmtime_r(&now.tv_sec, &broken);
  *time = FromTm(broken, now.tv_nsec);
}

FileTime GetSystemTimeAsFileTime() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return FileTimeFromTimespec(now);
}

std::uint64_t FileTimeToUint64(const FileTime& time) {
  return (static_cast<std::uint64_t>(time.high_date_time) << 32) | time.low_date_time;
}

FileTime FileTimeFromUint64(std::uint64_t value) {
  return {static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
}

FileTime FileTimeFromTimespec(const timespec& time) {
  std::int64_t ticks =
      (static_cast<std::int64_t>(time.tv_sec) + kSecondsFrom1601To1970) * kTicksPerSecond +
      time.tv_nsec / 100;
  return FileTimeFromUint64(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

timespec FileTimeToTimespec(const FileTime& time) {
  std::uint64_t ticks = FileTimeToUint64(time);
  timespec result;
  result.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(ticks / kTicksPerSecond) -
                                      kSecondsFrom1601To1970);
  result.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
  return result;
}

FileTime FileTimeFromUnixTime(std::int64_t seconds) {
  timespec time{static_cast<time_t>(seconds), 0};
  return FileTimeFromTimespec(time);
}

std::int64_t FileTimeToUnixTime(const FileTime& time) {
  return static_cast<std::int64_t>(FileTimeToUint64(time) / kTicksPerSecond) -
         kSecondsFrom1601To1970;
}

bool FileTimeToSystemTime(const FileTime& file_time, SystemTime* system_time) {
  std::uint64_t ticks = FileTimeToUint64(file_time);
  if (ticks > 0x7FFFFFFFFFFFFFFFull) return false;
  std::int64_t days = static_cast<std::int64_t>(ticks / kTicksPerDay);
  std::int64_t rest = static_cast<std::int64_t>(ticks % kTicksPerDay);
  std::int64_t year;
  unsigned month, day;
  CivilFromDays(days + kDaysTo1601, &year, &month, &day);
  if (year > kLastYear) return false;
  system_time->year = static_cast<std::uint16_t>(year);
  system_time->month = static_cast<std::uint16_t>(month);
  system_time->day = static_cast<std::uint16_t>(day);
  system_time->day_of_week = static_cast<std::uint16_t>((days + 1) % 7);  // 1601-01-01: Monday
  system_time->hour = static_cast<std::uint16_t>(rest / (kTicksPerSecond * 3600));
  system_time->minute = static_cast<std::uint16_t>(rest / (kTicksPerSecond * 60) % 60);
  system_time->second = static_cast<std::uint16_t>(rest / kTicksPerSecond % 60);
  system_time->milliseconds = static_cast<std::uint16_t>(rest / 10'000 % 1000);
  return true;
}

bool SystemTimeToFileTime(const SystemTime& time, FileTime* file_time) {
  if (time.year < 1601 || time.year > kLastYear || time.month < 1 || time.month > 12 ||
      time.day < 1 || time.day > DaysInMonth(time.year, time.month) || time.hour > 23 ||
      time.minute > 59 || time.second > 59 || time.milliseconds > 999) {
    return false;
  }
  std::int64_t days = DaysFromCivil(time.year, time.month, time.day) - kDaysTo1601;
  std::int64_t ticks = days * kTicksPerDay +
                       ((time.hour * 60 + time.minute) * 60 + time.second) * kTicksPerSecond +
                       time.milliseconds * std::int64_t{10'000};
  *file_time = FileTimeFromUint64(static_cast<std::uint64_t>(ticks));
  return true;
}

bool FileTimeToLocalFileTime(const FileTime& utc, FileTime* local) {
  std::int64_t ticks = static_cast<std::int64_t>(FileTimeToUint64(utc)) +
                       UtcOffsetAt(FileTimeToUnixTime(utc)) * kTicksPerSecond;
  if (ticks < 0) return false;
  *local = FileTimeFromUint64(static_cast<std::uint64_t>(ticks));
  return true;
}

bool LocalFileTimeToFileTime(const FileTime& local, FileTime* utc) {
  // The offset belongs to the UTC moment we are looking for: guess, then correct once.
  std::int64_t local_seconds = FileTimeToUnixTime(local);
  std::int64_t offset = UtcOffsetAt(local_seconds);
  offset = UtcOffsetAt(local_seconds - offset);
  std::int64_t ticks =
      static_cast<std::int64_t>(FileTimeToUint64(local)) - offset * kTicksPerSecond;
  if (ticks < 0) return false;
  *utc = FileTimeFromUint64(static_cast<std::uint64_t>(ticks));
  return true;
}

bool DosDateTimeToFileTime(std::uint16_t dos_date, std::uint16_t dos_time, FileTime* time) {
  SystemTime system;
  system.year = static_cast<std::uint16_t>(1980 + (dos_date >> 9));
  system.month = static_cast<std::uint16_t>((dos_date >> 5) & 0x0F);
  system.day = static_cast<std::uint16_t>(dos_date & 0x1F);
  system.hour = static_cast<std::uint16_t>(dos_time >> 11);
  system.minute = static_cast<std::uint16_t>((dos_time >> 5) & 0x3F);
  system.second = static_cast<std::uint16_t>((dos_time & 0x1F) * 2);
  return SystemTimeToFileTime(system, time);
}

bool FileTimeToDosDateTime(const FileTime& time, std::uint16_t* dos_date, std::uint16_t* dos_time) {
  SystemTime system;
  if (!FileTimeToSystemTime(time, &system) || system.year < 1980 || system.year > 2107)
    return false;
  *dos_date =
      static_cast<std::uint16_t>(((system.year - 1980) << 9) | (system.month << 5) | system.day);
  *dos_time =
      static_cast<std::uint16_t>((system.hour << 11) | (system.minute << 5) | (system.second / 2));
  return true;
}

}  // namespace platform
