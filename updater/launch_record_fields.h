// The two fields of a launch record that the updater reads itself: the region text
// (second token of the OverrideMCP text at offset 16) and the affiliation code (offset
// 2116). Both fields are fixed-size; a text that fills its field has no terminating
// zero and is cut at the field's end.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zoma {

inline constexpr std::size_t kLaunchRecordSize = 3668;

struct LaunchRecordFields {
  std::string region_text;
  std::string affiliation;
};

/// Nullopt when fewer than 3668 bytes are given.
std::optional<LaunchRecordFields> ParseLaunchRecordFields(std::string_view bytes);

/// Reads the first 3668 bytes of a host file; nullopt when shorter or unreadable.
std::optional<LaunchRecordFields> ReadLaunchRecordFields(const std::string& host_path);

}  // namespace zoma
