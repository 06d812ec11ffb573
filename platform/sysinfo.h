// System information as Windows reports it: the Windows and system directories, the
// version (chosen by the platform setting "Windows Version"), drives and their types
// (from the drive map and the platform's "Drives" settings), the user's locale, the
// computer and user names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The platform's own settings key and the values it holds.
inline constexpr std::string_view kPlatformSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Zoma Platform";
inline constexpr std::string_view kDriveSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Zoma Platform\\Drives";

// GetWindowsDirectoryA: "C:\WINDOWS".
std::string GetWindowsDirectory();
// GetSystemDirectoryA: "C:\WINDOWS\SYSTEM32".
std::string GetSystemDirectory();

inline constexpr std::uint32_t kVerPlatformWin32s = 0;
inline constexpr std::uint32_t kVerPlatformWin32Windows = 1;  // Windows 95/98
inline constexpr std::uint32_t kVerPlatformWin32Nt = 2;

// OSVERSIONINFOA.
struct OsVersionInfo {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;  // on 95/98 the high word repeats major and minor
  std::uint32_t platform_id = 0;
  std::string service_pack;  // szCSDVersion
};

// GetVersionExA, as the system named by "Windows Version" (win95, win98, nt4, xp;
// anything else or nothing: xp).
OsVersionInfo GetVersionEx();

inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdrom = 5;
inline constexpr std::uint32_t kDriveRamdisk = 6;

// GetDriveTypeA of a root such as "C:\" (or "C:"). A letter's "Drives" setting decides;
// without one, a mapped letter is fixed and any other has no root directory.
std::uint32_t GetDriveType(std::string_view root);

// GetLogicalDrives: bit 0 is A:. Mapped letters and letters with a drive setting.
std::uint32_t GetLogicalDrives();

// GetLogicalDriveStringsA's data: "C:\", "D:\", ... each followed by a zero, and a
// closing zero.
std::string GetLogicalDriveStrings();

// GetUserDefaultLCID from LC_ALL, LC_CTYPE or LANG (en_GB 2057, en_US 1033, ...); the C
// and POSIX locales and unknown ones give 1033.
std::uint32_t GetUserDefaultLCID();

// The locale identifier of a POSIX locale name ("de_AT.UTF-8@euro" gives 3079).
std::uint32_t LcidFromLocaleName(std::string_view name);

// GetComputerNameA: the host name, upper case, at most 15 characters.
std::string GetComputerName();
// GetUserNameA: the login name of the process's user.
std::string GetUserName();

}  // namespace platform
