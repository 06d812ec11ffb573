// Volume information (GetVolumeInformationA) for the drives of the drive map. A drive's
// label is a platform setting: the value "C:" under
// HKLM\Software\Zoma Platform\Volume Labels; a drive without one is unlabelled (an
// empty label, as Windows reports a volume that was never given a name).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/win_error.h"

namespace platform {

inline constexpr std::string_view kVolumeLabelSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Zoma Platform\\Volume Labels";

struct VolumeInformation {
  std::string label;         // at most 32 characters
  std::uint32_t serial = 0;  // stable for a drive letter and its host directory
  std::string file_system;   // "CDFS" for CD drives, else "FAT32" or "NTFS" by version
  std::uint32_t max_component_length = 255;
};

/// GetVolumeInformationA of a root such as "C:\" (or "C:"); "", null or "\" means the
/// current drive. False with kErrorPathNotFound for a drive that is not present and
/// kErrorBadNetpath for a network root.
bool GetVolumeInformation(const char* root, VolumeInformation* info);

/// Gives a drive a label (an empty label removes it). False when the setting cannot be
/// written.
bool SetVolumeLabel(char letter, std::string_view label);

}  // namespace platform
