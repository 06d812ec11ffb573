// System information from the platform settings, the drive map and the environment.
#include "platform/sysinfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace platform {
namespace {

TEST(SysinfoTest, WindowsAndSystemDirectories) {
  EXPECT_EQ(GetWindowsDirectory(), "C:\\WINDOWS");
  EXPECT_EQ(GetSystemDirectory(), "C:\\WINDOWS\\SYSTEM32");
}

TEST(SysinfoTest, VersionFollowsTheWindowsVersionSetting) {
  testing::TempPrefix prefix;
  OsVersionInfo info = GetVersionEx();
  EXPECT_EQ(info.major, 5u);
  EXPECT_EQ(info.minor, 1u);
  EXPECT_EQ(info.build, 2600u);
  EXPECT_EQ(info.platform_id, kVerPlatformWin32Nt);

  struct Case {
    const char* setting;
    std::uint32_t major, minor, low_build, platform;
  } cases[] = {
      {"win95", 4, 0, 950, kVerPlatformWin32Windows},
      {"WIN98", 4, 10, 1998, kVerPlatformWin32Windows},
      {"nt4", 4, 0, 1381, kVerPlatformWin32Nt},
      {"xp", 5, 1, 2600, kVerPlatformWin32Nt},
      {"windows 11", 5, 1, 2600, kVerPlatformWin32Nt},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(reg::WriteString(kPlatformSettingsKey, "Windows Version", c.setting), kErrorSuccess);
    info = GetVersionEx();
    EXPECT_EQ(info.major, c.major) << c.setting;
    EXPECT_EQ(info.minor, c.minor) << c.setting;
    EXPECT_EQ(info.build & 0xFFFF, c.low_build) << c.setting;
    EXPECT_EQ(info.platform_id, c.platform) << c.setting;
    // Windows 95 and 98 repeat the version in the high word of the build number.
    if (c.platform == kVerPlatformWin32Windows) {
      EXPECT_EQ(info.build >> 16, c.major << 8 | c.minor) << c.setting;
    }
  }
}

TEST(SysinfoTest, DrivesFromTheMapAndTheSettings) {
  testing::TempPrefix prefix;
  EXPECT_EQ(GetDriveType("C:\\"), kDriveFixed);
  EXPECT_EQ(GetDriveType("z:"), kDriveFixed);
  EXPECT_EQ(GetDriveType("D:\\"), kDriveNoRootDir);
  EXPECT_EQ(GetDriveType(""), kDriveFixed);  // the current directory's drive (Z: here)
  EXPECT_EQ(GetLogicalDrives(), 1u << 2 | 1u << 25);

  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "D:", "cdrom"), kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "a:", "Removable"), kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "C:", "remote"), kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "R:", "ramdisk"), kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "Q:", "tape"), kErrorSuccess);
  ASSERT_EQ(reg::WriteString(kDriveSettingsKey, "Not a drive", "fixed"), kErrorSuccess);
  ASSERT_EQ(symlink("/tmp", (prefix.dir() + "/drives/e").c_str()), 0);

  EXPECT_EQ(GetDriveType("D:\\"), kDriveCdrom);
  EXPECT_EQ(GetDriveType("A:\\"), kDriveRemovable);
  EXPECT_EQ(GetDriveType("c:/"), kDriveRemote);
  EXPECT_EQ(GetDriveType("R:\\"), kDriveRamdisk);
  EXPECT_EQ(GetDriveType("Q:\\"), kDriveUnknown);
  EXPECT_EQ(GetDriveType("E:\\"), kDriveFixed);
  for (const char* bad : {"CC", "1:\\", "C:\\x", "\\\\server\\share\\"})
    EXPECT_EQ(GetDriveType(bad), kDriveNoRootDir) << bad;

  EXPECT_EQ(GetLogicalDrives(),
            1u << 0 | 1u << 2 | 1u << 3 | 1u << 4 | 1u << 16 | 1u << 17 | 1u << 25);
  EXPECT_EQ(GetLogicalDriveStrings(),
            std::string("A:\\\0C:\\\0D:\\\0E:\\\0Q:\\\0R:\\\0Z:\\\0\0", 29));
}

// Sets or clears the locale variables for one check and restores them afterwards.
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (int i = 0; i < 3; ++i) {
      const char* value = std::getenv(kNames[i]);
      saved_[i] = value ? std::optional<std::string>(value) : std::nullopt;
    }
  }
  ~LocaleEnvironment() {
    for (int i = 0; i < 3; ++i) Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
  }
  void Use(const char* all, const char* ctype, const char* lang) {
    Set("LC_ALL", all);
    Set("LC_CTYPE", ctype);
    Set("LANG", lang);
  }

 private:
  static void Set(const char* name, const char* value) {
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  static constexpr const char* kNames[3] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::optional<std::string> saved_[3];
};

TEST(SysinfoTest, LocaleIdentifierFromTheLocaleVariables) {
  LocaleEnvironment environment;
  struct Case {
    const char *all, *ctype, *lang;
    std::uint32_t lcid;
  } cases[] = {
      {"en_GB.UTF-8", nullptr, nullptr, 2057},
      {nullptr, nullptr, "en_US.UTF-8", 1033},
      {nullptr, nullptr, nullptr, 1033},
      {"C", nullptr, "en_GB", 1033},
      {"POSIX", nullptr, nullptr, 1033},
      {"", "", "en_GB.utf8", 2057},
      {nullptr, "de_AT.UTF-8@euro", "en_GB", 3079},
      {"fr", nullptr, nullptr, 1036},
      {"fr_XX", nullptr, nullptr, 1036},
      {"xx_YY", nullptr, nullptr, 1033},
      {"ja_JP.eucJP", nullptr, nullptr, 1041},
  };
  for (const Case& c : cases) {
    environment.Use(c.all, c.ctype, c.lang);
    EXPECT_EQ(GetUserDefaultLCID(), c.lcid)
        << (c.all ? c.all : "-") << " " << (c.ctype ? c.ctype : "-") << " "
        << (c.lang ? c.lang : "-");
  }
}

TEST(SysinfoTest, ComputerAndUserNames) {
  std::string computer = GetComputerName();
  EXPECT_FALSE(computer.empty());
  EXPECT_LE(computer.size(), 15u);
  for (char c : computer) EXPECT_FALSE(c >= 'a' && c <= 'z') << computer;
  EXPECT_FALSE(GetUserName().empty());
}

}  // namespace
}  // namespace platform
