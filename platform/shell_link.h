// Shell links: .lnk files in the published MS-SHLLINK binary format, as IShellLinkA and
// IPersistFile save them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_error.h"

namespace platform {

struct ShellLink {
  std::string target;             // full Windows path of the target
  std::string description;        // at most kMaxLinkDescription characters are kept
  std::string working_directory;  // "" writes none
  std::string arguments;          // "" writes none
};

inline constexpr std::size_t kMaxLinkDescription = 1024;  // INFOTIPSIZE

/// The bytes of a shortcut to `link.target`, with the target file's attributes, times
/// and size when it exists. Strings are stored in the ANSI code page.
///
/// Subset written:
///   ShellLinkHeader (76 bytes): CLSID 00021401-0000-0000-C000-000000000046, flags
///     HasLinkInfo [| HasName] [| HasWorkingDir] [| HasArguments] (empty strings
///     are left out),
///     show command SW_SHOWNORMAL, no hot key;
///   LinkInfo: VolumeID (drive type, serial, label) and LocalBasePath (the target), an
///     empty CommonPathSuffix; no network part;
///   StringData: NAME_STRING (description), WORKING_DIR, COMMAND_LINE_ARGUMENTS;
///   ExtraData: the terminal block only. No LinkTargetIDList.
std::string EncodeShellLink(const ShellLink& link);

/// Resolves the target to a full path and saves the link under `file` (a Windows path),
/// replacing what was there. False with the last error set when the target or file
/// name is unusable (kErrorInvalidName, kErrorFilenameExcedRange, kErrorBadNetpath for a
/// network target) or the file cannot be
/// written.
bool SaveShellLink(const std::string& file, ShellLink link);

}  // namespace platform
