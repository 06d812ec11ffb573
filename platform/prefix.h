// The prefix: the one host directory that holds all emulated machine state (the
// registry database, the drive map, the C: drive, named-mutex locks, the restart flag).
//
//   registry.db          the registry
//   drives/c -> ../drive_c, drives/z -> /   the drive map; a user may add letters
//   drive_c/WINDOWS/SYSTEM32
//   locks/               named mutexes
//   restart-pending      present when a restart of Windows was requested
#pragma once

#include <string>

#include "platform/win_error.h"

namespace platform {

// The prefix's host directory: $ZOMA_PREFIX, else $XDG_DATA_HOME/zoma, else
// ~/.local/share/zoma. The layout is created on first use in this process. Returns an
// empty string when the prefix cannot be created, with the reason in *status.
std::string PrefixDirectory(Status* status = nullptr);

// Joins a relative host path onto the prefix directory ("" when there is no prefix).
std::string PrefixPath(const std::string& relative);

}  // namespace platform
