// SearchPathA: finding a file by name along a directory list, or along the default
// search order when no list is given.
#pragma once

#include <string>

#include "platform/win_error.h"

namespace platform {

/// SearchPathA. `path` lists directories separated by ";"; null means the default order:
/// the application directory, the current directory, the system directory, the 16-bit
/// system directory (C:\WINDOWS\SYSTEM), the Windows directory, then PATH. `extension`
/// (".exe"; may be null) is appended only when the file name has no extension. A name
/// with a directory part is looked up as it stands. Returns the full path of the first
/// file found, "" with kErrorFileNotFound when there is none.
std::string SearchPath(const char* path, const std::string& name, const char* extension,
                       Status* status = nullptr);

}  // namespace platform
