// Volume labels from the platform settings; serial numbers from the drive's host root.
#include <cctype>
#include <optional>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/sysinfo.h"
#include "platform/volume.h"

namespace platform {
namespace {

constexpr std::size_t kMaxLabelLength = 32;

// FNV-1a: any stable mix will do, so that a drive keeps its serial between runs.
std::uint32_t Serial(char letter, const std::string& host_root) {
  std::uint32_t hash = 2166136261u;
  auto mix = [&hash](unsigned char c) {
    hash ^= c;
    hash *= 16777619u;
  };
  mix(static_cast<unsigned char>(letter));
  for (char c : host_root) mix(static_cast<unsigned char>(c));
  return hash;
}

}  // namespace

bool GetVolumeInformation(const char* root, VolumeInformation* info) {
  std::string text = root ? root : "";
  if (text.size() >= 2 && (text[0] == '\\' || text[0] == '/') &&
      (text[1] == '\\' || text[1] == '/')) {
    SetLastError(kErrorBadNetpath);
    return false;
  }
  char letter = 0;
  if (text.empty() || text[0] == '\\' || text[0] == '/') {  // the current drive's root
    std::string current = GetCurrentDirectory();
    if (!current.empty()) letter = current[0];
  } else if (text.size() >= 2 && text[1] == ':' &&
             std::isalpha(static_cast<unsigned char>(text[0]))) {
    letter = text[0];
  }
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (letter < 'A' || letter > 'Z' || !(GetLogicalDrives() & (1u << (letter - 'A')))) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  std::uint32_t type = GetDriveType(std::string{letter, ':', '\\'});
  if (type == kDriveNoRootDir || type == kDriveUnknown) {
    SetLastError(kErrorPathNotFound);
    return false;
  }
  VolumeInformation result;
  std::optional<std::string> label =
      reg::ReadString(kVolumeLabelSettingsKey, std::string{letter, ':'});
  if (label) result.label = label->substr(0, kMaxLabelLength);
  result.serial = Serial(letter, DriveRoot(letter));
  if (type == kDriveCdrom) {
    result.file_system = "CDFS";
    result.max_component_length = 110;
  } else {
    result.file_system = GetVersionEx().platform_id == kVerPlatformWin32Nt ? "NTFS" : "FAT32";
  }
  if (info) *info = std::move(result);
  return true;
}

bool SetVolumeLabel(char letter, std::string_view label) {
  std::string name{static_cast<char>(std::toupper(static_cast<unsigned char>(letter))), ':'};
  if (label.empty()) {
    reg::KeyPath path;
    reg::ParseKeyPath(kVolumeLabelSettingsKey, &path);
    reg::ScopedKey key;
    if (reg::OpenKey(path.root, path.subkey.c_str(), reg::kKeyWrite, key.out()) != kErrorSuccess)
      return true;
    Status status = reg::DeleteValue(key.get(), name.c_str());
    return status == kErrorSuccess || status == kErrorFileNotFound;
  }
  return reg::WriteString(kVolumeLabelSettingsKey, name, label.substr(0, kMaxLabelLength)) ==
         kErrorSuccess;
}

}  // namespace platform
