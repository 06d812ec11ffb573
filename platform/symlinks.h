// Whether a name is a symbolic link on the host, so that code writing names taken from
// outside input can refuse to follow one out of the directory it writes in.
#pragma once

#include <string>

namespace platform {

// True when the last component of the Windows path exists and is a symbolic link
// (the link itself is examined, not what it points to).
bool IsSymbolicLink(const std::string& windows_path);

}  // namespace platform
