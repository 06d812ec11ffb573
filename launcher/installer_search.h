// Finding the client installer on the CD drives: "zoma????.exe" in a drive's root, else
// in its subdirectories, depth first in the order the file system lists them.
#pragma once

#include <optional>
#include <string>

namespace zoma::launcher {

inline constexpr char kInstallerPattern[] = "zoma????.exe";

/// The first installer in `directory` or below it (names beginning with "." or
/// "Recycled" are not entered).
std::optional<std::string> FindInstallerIn(const std::string& directory);

/// The first installer on a CD-ROM drive, drives from A: upward.
std::optional<std::string> FindInstallerOnCdDrives();

}  // namespace zoma::launcher
