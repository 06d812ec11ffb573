// System information on POSIX: fixed Windows directories, the emulated version from
// the platform settings, drives from prefix/drives and the "Drives" settings, the locale
// identifier from the POSIX locale variables, and names from the host.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <optional>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"

namespace platform {
namespace {

struct KnownVersion {
  std::string_view setting;
  OsVersionInfo info;
};

// The releases the system was built for, as their GetVersionExA reported them.
const std::array<KnownVersion, 4>& KnownVersions() {
  static const std::array<KnownVersion, 4> versions = {{
      {"win95", {4, 0, 0x040003B6, kVerPlatformWin32Windows, ""}},
      {"win98", {4, 10, 0x040A07CE, kVerPlatformWin32Windows, ""}},
      {"nt4", {4, 0, 1381, kVerPlatformWin32Nt, "Service Pack 6"}},
      {"xp", {5, 1, 2600, kVerPlatformWin32Nt, "Service Pack 3"}},
  }};
  return versions;
}

// A drive letter from "C:\", "C:" or "c"; nothing for anything else.
std::optional<char> DriveLetter(std::string_view root) {
  if (root.empty() || root.size() > 3) return std::nullopt;
  char letter = ToUpperAscii(root[0]);
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  if (root.size() >= 2 && root[1] != ':') return std::nullopt;
  if (root.size() == 3 && root[2] != '\\' && root[2] != '/') return std::nullopt;
  return letter;
}

// Whether prefix/drives/<letter> exists (a symbolic link, dangling or not).
bool IsMapped(char letter) {
  std::string drives = PrefixPath("drives/");
  if (drives.empty()) return false;
  struct stat st;
  return lstat((drives + ToLowerAscii(letter)).c_str(), &st) == 0 ||
         lstat((drives + letter).c_str(), &st) == 0;
}

// The type a "Drives" setting names.
std::uint32_t DriveTypeFromSetting(std::string_view setting) {
  static constexpr std::pair<std::string_view, std::uint32_t> kTypes[] = {
      {"fixed", kDriveFixed},   {"cdrom", kDriveCdrom},     {"removable", kDriveRemovable},
      {"remote", kDriveRemote}, {"ramdisk", kDriveRamdisk},
  };
  for (const auto& [text, type] : kTypes)
    if (EqualsIgnoreCase(setting, text)) return type;
  return kDriveUnknown;
}

// The type named by the letter's "Drives" setting, when it has one.
std::optional<std::uint32_t> ConfiguredType(char letter) {
  std::optional<std::string> setting = reg::ReadString(kDriveSettingsKey, std::string{letter, ':'});
  if (!setting) return std::nullopt;
  return DriveTypeFromSetting(*setting);
}

// Bit mask of the letters that have a "Drives" setting, read in one pass over the key.
std::uint32_t ConfiguredLetters() {
  reg::ScopedKey key;
  reg::KeyPath path;
  reg::ParseKeyPath(kDriveSettingsKey, &path);
  if (reg::OpenKey(path.root, path.subkey.c_str(), reg::kKeyQueryValue, key.out()) != kErrorSuccess)
    return 0;
  std::uint32_t mask = 0;
  char name[8];
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t size = sizeof name, type = 0;
    Status status = reg::EnumValue(key.get(), i, name, &size, &type, nullptr, nullptr);
    if (status == kErrorMoreData) continue;  // a longer name is no drive letter
    if (status != kErrorSuccess) break;
    std::optional<char> letter = DriveLetter(std::string_view(name, size));
    if (letter && size == 2 && type == reg::kRegSz) mask |= 1u << (*letter - 'A');
  }
  return mask;
}

struct LocaleId {
  std::string_view name;  // language_TERRITORY, or a language alone for its default
  std::uint32_t lcid;
};

constexpr LocaleId kLocales[] = {
    {"en_US", 1033},
    {"en_GB", 2057},
    {"en_AU", 3081},
    {"en_CA", 4105},
    {"en_NZ", 5129},
    {"en_IE", 6153},
    {"en_ZA", 7177},
    {"en_IN", 16393},
    {"de_DE", 1031},
    {"de_CH", 2055},
    {"de_AT", 3079},
    {"de_LU", 4103},
    {"fr_FR", 1036},
    {"fr_BE", 2060},
    {"fr_CA", 3084},
    {"fr_CH", 4108},
    {"fr_LU", 5132},
    {"es_ES", 3082},
    {"es_MX", 2058},
    {"es_AR", 11274},
    {"it_IT", 1040},
    {"it_CH", 2064},
    {"nl_NL", 1043},
    {"nl_BE", 2067},
    {"pt_BR", 1046},
    {"pt_PT", 2070},
    {"sv_SE", 1053},
    {"sv_FI", 2077},
    {"da_DK", 1030},
    {"nb_NO", 1044},
    {"nn_NO", 2068},
    {"fi_FI", 1035},
    {"is_IS", 1039},
    {"pl_PL", 1045},
    {"cs_CZ", 1029},
    {"sk_SK", 1051},
    {"hu_HU", 1038},
    {"ro_RO", 1048},
    {"hr_HR", 1050},
    {"sl_SI", 1060},
    {"ru_RU", 1049},
    {"uk_UA", 1058},
    {"bg_BG", 1026},
    {"el_GR", 1032},
    {"tr_TR", 1055},
    {"he_IL", 1037},
    {"ar_SA", 1025},
    {"ja_JP", 1041},
    {"ko_KR", 1042},
    {"zh_CN", 2052},
    {"zh_TW", 1028},
    {"zh_HK", 3076},
    {"zh_SG", 4100},
    {"th_TH", 1054},
    {"et_EE", 1061},
    {"lv_LV", 1062},
    {"lt_LT", 1063},
    {"ca_ES", 1027},
    {"eu_ES", 1069},
    // A language without a territory: its primary sublanguage.
    {"en", 1033},
    {"de", 1031},
    {"fr", 1036},
    {"es", 3082},
    {"it", 1040},
    {"nl", 1043},
    {"pt", 1046},
    {"sv", 1053},
    {"da", 1030},
    {"nb", 1044},
    {"no", 1044},
    {"fi", 1035},
    {"pl", 1045},
    {"cs", 1029},
    {"hu", 1038},
    {"ru", 1049},
    {"el", 1032},
    {"tr", 1055},
    {"ja", 1041},
    {"ko", 1042},
    {"zh", 2052},
};

constexpr std::uint32_t kDefaultLcid = 1033;

}  // namespace

std::string GetWindowsDirectory() { return "C:\\WINDOWS"; }

std::string GetSystemDirectory() { return "C:\\WINDOWS\\SYSTEM32"; }

OsVersionInfo GetVersionEx() {
  std::optional<std::string> setting = reg::ReadString(kPlatformSettingsKey, "Windows Version");
  const auto& versions = KnownVersions();
  if (setting) {
    for (const KnownVersion& version : versions)
      if (EqualsIgnoreCase(*setting, version.setting)) return version.info;
  }
  return versions.back().info;  // xp
}

std::uint32_t GetDriveType(std::string_view root) {
  // No root means the drive of the current directory, as on Windows.
  std::string current;
  if (root.empty()) {
    current = GetCurrentDirectory().substr(0, 2);
    root = current;
  }
  std::optional<char> letter = DriveLetter(root);
  if (!letter) return kDriveNoRootDir;
  if (std::optional<std::uint32_t> type = ConfiguredType(*letter)) return *type;
  return IsMapped(*letter) ? kDriveFixed : kDriveNoRootDir;
}

std::uint32_t GetLogicalDrives() {
  std::uint32_t mask = ConfiguredLetters();
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    if (IsMapped(letter)) mask |= 1u << (letter - 'A');
  return mask;
}

std::string GetLogicalDriveStrings() {
  std::string strings;
  std::uint32_t mask = GetLogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!(mask & 1u << (letter - 'A'))) continue;
    strings += letter;
    strings += ":\\";
    strings.push_back('\0');
  }
  strings.push_back('\0');
  return strings;
}

std::uint32_t LcidFromLocaleName(std::string_view name) {
  // language[_territory][.codeset][@modifier]
  name = name.substr(0, name.find_first_of(".@"));
  std::string_view language = name.substr(0, name.find('_'));
  for (std::string_view wanted : {name, language}) {
    for (const LocaleId& locale : kLocales)
      if (EqualsIgnoreCase(wanted, locale.name)) return locale.lcid;
  }
  return kDefaultLcid;
}

std::uint32_t GetUserDefaultLCID() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return LcidFromLocaleName(value);
  }
  return kDefaultLcid;
}

std::string GetComputerName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || !*host) return "LOCALHOST";
  std::string name(host);
  name = name.substr(0, name.find('.'));
  if (name.size() > 15) name.resize(15);
  for (char& c : name) c = ToUpperAscii(c);
  return name;
}

std::string GetUserName() {
  passwd entry;
  passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
    return found->pw_name;
  if (const char* user = std::getenv("USER"); user && *user) return user;
  return "user";
}

}  // namespace platform
