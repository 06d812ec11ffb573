// The one place where the library turns the caller's Windows paths into host paths and
// back. Everything inside the library works on host paths.
#pragma once

#include <string>

namespace castanet {

// A path the caller passed (drive-letter, backslash or host form) as a host path.
std::string HostPathFromCaller(const char* path);
// A host path in the form the caller expects back.
std::string CallerPathFromHost(const std::string& path);

}  // namespace castanet
