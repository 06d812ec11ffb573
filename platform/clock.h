// Time as Windows programs see it: a millisecond tick that wraps at 32 bits, the wall clock
// broken down into a SYSTEMTIME, and FILETIMEs (100-nanosecond intervals since
// 1601-01-01 UTC) with their conversions.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

// FILETIME: a 64-bit count of 100 ns intervals since 1601-01-01 UTC, split as Win32 does.
struct FileTime {
  std::uint32_t low_date_time = 0;
  std::uint32_t high_date_time = 0;
};

// SYSTEMTIME, fields in Win32 order. day_of_week: 0 = Sunday.
struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day_of_week = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// Milliseconds since the machine started, wrapping at 2^32 like timeGetTime.
std::uint32_t TimeGetTime();
// The same tick under its kernel32 name.
std::uint32_t GetTickCount();
// Suspends the calling thread; Sleep(0) gives up the rest of the time slice.
void Sleep(std::uint32_t milliseconds);

void GetLocalTime(SystemTime* time);
void GetSystemTime(SystemTime* time);
FileTime GetSystemTimeAsFileTime();

// FILETIME <-> 64-bit value and <-> POSIX time (seconds and nanoseconds since 1970 UTC).
std::uint64_t FileTimeToUint64(const FileTime& time);
FileTime FileTimeFromUint64(std::uint64_t value);
FileTime FileTimeFromTimespec(const timespec& time);
timespec FileTimeToTimespec(const FileTime& time);
FileTime FileTimeFromUnixTime(std::int64_t seconds);
std::int64_t FileTimeToUnixTime(const FileTime& time);  // whole seconds, rounded down

// SYSTEMTIME <-> FILETIME, both in the same time zone (no conversion). False on a
// SYSTEMTIME with fields out of range or a FILETIME past year 30827.
bool FileTimeToSystemTime(const FileTime& file_time, SystemTime* system_time);
bool SystemTimeToFileTime(const SystemTime& system_time, FileTime* file_time);

// UTC <-> local time by the host's time zone rules for that moment.
bool FileTimeToLocalFileTime(const FileTime& utc, FileTime* local);
bool LocalFileTimeToFileTime(const FileTime& local, FileTime* utc);

// MS-DOS date and time words (as in cabinets and zip files) <-> FILETIME, no time zone
// conversion. Seconds have a resolution of two; years run from 1980 to 2107.
bool DosDateTimeToFileTime(std::uint16_t dos_date, std::uint16_t dos_time, FileTime* time);
bool FileTimeToDosDateTime(const FileTime& time, std::uint16_t* dos_date, std::uint16_t* dos_time);

}  // namespace platform
