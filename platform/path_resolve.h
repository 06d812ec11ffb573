// Inside the platform layer: resolution of a Windows path to the host, component by
// component, keeping each component's long and short name for the callers that report
// them (short and long path names, directory searches).
#pragma once

#include <string>
#include <vector>

#include "platform/short_names.h"
#include "platform/win_error.h"

namespace platform {

struct ResolveOptions {
  bool allow_missing_directories = false;  // keep missing directories as spelt
  bool want_short_names = false;           // fill DirectoryName::short_name
};

struct ResolvedPath {
  std::string windows;               // the normalised full Windows path
  std::string host;                  // the host path
  std::vector<DirectoryName> names;  // one per component below the drive root
  bool exists = false;               // every component was found
};

// Validates (UNC, forbidden characters, length, drive) and resolves a Windows path.
Status ResolvePath(const std::string& windows_path, const ResolveOptions& options,
                   ResolvedPath* out);

}  // namespace platform
