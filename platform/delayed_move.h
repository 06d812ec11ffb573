// MoveFileExA, including the moves and deletes that Windows does at its next start.
//
// A delayed operation is recorded the NT way, in the REG_MULTI_SZ value
// PendingFileRenameOperations of HKLM\System\CurrentControlSet\Control\Session Manager:
// pairs of strings, the source "\??\C:\full\path" and the target "\??\C:\full\path"
// (prefixed with "!" when an existing target may be replaced) or "" for a delete. The
// list is applied by ApplyPendingBootActions (boot.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr std::uint32_t kMoveFileReplaceExisting = 0x1;
inline constexpr std::uint32_t kMoveFileCopyAllowed = 0x2;
inline constexpr std::uint32_t kMoveFileDelayUntilReboot = 0x4;
inline constexpr std::uint32_t kMoveFileWriteThrough = 0x8;

inline constexpr char kSessionManagerKey[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager";
inline constexpr char kPendingRenamesValue[] = "PendingFileRenameOperations";
// Named mutex held while the value is read and rewritten, or applied and deleted.
inline constexpr char kPendingRenamesMutex[] = "Zoma Platform PendingFileRenameOperations";

/// MoveFileExA. `new_name` null deletes (only with kMoveFileDelayUntilReboot). Without
/// that flag the move happens now: an existing target gives kErrorAlreadyExists unless
/// kMoveFileReplaceExisting; across file systems a file is copied and deleted only with
/// kMoveFileCopyAllowed (else kErrorNotSameDevice).
bool MoveFileEx(const std::string& existing, const char* new_name, std::uint32_t flags);

/// One recorded operation, paths in Windows form without the "\??\" prefix.
struct PendingRename {
  std::string source;
  std::string target;  // "" = delete the source
  bool replace_existing = false;
};

/// Decodes the value's data. The empty target of a delete is a string of its own, so
/// the data is read pair by pair to its end, not up to the first empty string.
std::vector<PendingRename> DecodePendingRenames(std::string_view data);
std::string EncodePendingRenames(const std::vector<PendingRename>& renames);

/// Carries out one operation now; false with the last error set when it fails.
bool ApplyPendingRename(const PendingRename& rename);

}  // namespace platform
