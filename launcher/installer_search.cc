// The installer search over the CD-ROM drives.
#include "launcher/installer_search.h"

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/sysinfo.h"
#include "platform/win_error.h"

namespace zoma::launcher {
namespace {

std::string Join(const std::string& directory, const std::string& name) {
  if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/'))
    return directory + name;
  return directory + "\\" + name;
}

bool IsSkippedDirectory(const std::string& name) {
  // The recycle bin is "RECYCLED" on FAT discs, "Recycled" elsewhere.
  return name.empty() || name[0] == '.' || platform::StartsWithIgnoreCase(name, "Recycled");
}

// A matching file directly in the directory.
std::optional<std::string> MatchIn(const std::string& directory) {
  platform::FindData data;
  platform::FindHandle search = platform::FindFirstFile(Join(directory, kInstallerPattern), &data);
  if (!search.valid()) return std::nullopt;
  do {
    if ((data.attributes & platform::kFileAttributeDirectory) == 0)
      return Join(directory, data.name);
  } while (platform::FindNextFile(search, &data));
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindInstallerIn(const std::string& directory) {
  if (auto found = MatchIn(directory)) return found;
  platform::FindData data;
  platform::FindHandle search = platform::FindFirstFile(Join(directory, "*.*"), &data);
  if (!search.valid()) return std::nullopt;
  do {
    if ((data.attributes & platform::kFileAttributeDirectory) == 0 || IsSkippedDirectory(data.name))
      continue;
    std::string below = Join(directory, data.name);
    // Paths are bounded as on Windows; that also ends a loop of linked directories.
    if (below.size() + 1 + sizeof kInstallerPattern > platform::kMaxPath) continue;
    if (auto found = FindInstallerIn(below)) return found;
  } while (platform::FindNextFile(search, &data));
  return std::nullopt;
}

std::optional<std::string> FindInstallerOnCdDrives() {
  std::uint32_t drives = platform::GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if ((drives & (1u << i)) == 0) continue;
    std::string root = std::string{static_cast<char>('A' + i), ':', '\\'};
    if (platform::GetDriveType(root) != platform::kDriveCdrom) continue;
    if (auto found = FindInstallerIn(root)) return found;
  }
  return std::nullopt;
}

}  // namespace zoma::launcher
